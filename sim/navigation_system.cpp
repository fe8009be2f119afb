// The navigation system's two blueprint-callable queries, answered on the level's navigation.
// Without a level nothing projects and no ray is blocked, as in the engine without nav data.
#include "sim/game_classes.h"

namespace kvr::sim {

namespace {

aps::Vec3 Lerp(const aps::Vec3& a, const aps::Vec3& b, float t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

// K2_ProjectPointToNavigation(WorldContextObject, Point, ProjectedLocation, NavData, FilterClass,
// QueryExtent) -> bool
void ProjectPointBody(NativeCall& call) {
  const auto* point = call.Param<aps::Vec3>(L"Point");
  auto* projected = call.Param<aps::Vec3>(L"ProjectedLocation");
  auto* result = call.Param<uint8_t>(L"ReturnValue");
  aps::INav* nav = call.world.Navigation();
  aps::Vec3 out{};
  const bool ok = nav && point && nav->ProjectPoint(*point, out);
  if (projected) *projected = ok ? out : aps::Vec3{};
  if (result) *result = ok ? 1 : 0;
}

// NavigationRaycast(WorldContextObject, RayStart, RayEnd, HitLocation, FilterClass, Querier)
// -> bool, true when the ray hits the navmesh's edge.
void RaycastBody(NativeCall& call) {
  const auto* start = call.Param<aps::Vec3>(L"RayStart");
  const auto* end = call.Param<aps::Vec3>(L"RayEnd");
  auto* hit = call.Param<aps::Vec3>(L"HitLocation");
  auto* result = call.Param<uint8_t>(L"ReturnValue");
  aps::INav* nav = call.world.Navigation();
  if (!start || !end) return;
  const bool blocked = nav && !nav->HasLineOfSight(*start, *end);
  if (result) *result = blocked ? 1 : 0;
  if (!hit) return;
  if (!blocked) {
    *hit = *end;
    return;
  }
  // The navigation interface only says blocked or open; halve towards the last open point.
  float open = 0.0f, closed = 1.0f;
  for (int i = 0; i < 8; ++i) {
    const float mid = 0.5f * (open + closed);
    (nav->HasLineOfSight(*start, Lerp(*start, *end, mid)) ? open : closed) = mid;
  }
  *hit = Lerp(*start, *end, open);
}

}  // namespace

void DefineNavigationFunctions(World& world, Class& navigationSystem) {
  Function& project =
      world.DefineFunction(navigationSystem, L"K2_ProjectPointToNavigation", ProjectPointBody);
  project.AddObject(L"WorldContextObject");
  project.AddStruct(L"Point", world.VectorStruct());
  project.AddStruct(L"ProjectedLocation", world.VectorStruct());
  project.AddObject(L"NavData");
  project.AddObject(L"FilterClass");
  project.AddStruct(L"QueryExtent", world.VectorStruct());
  project.AddBool(L"ReturnValue");
  project.Seal();

  Function& raycast = world.DefineFunction(navigationSystem, L"NavigationRaycast", RaycastBody);
  raycast.AddObject(L"WorldContextObject");
  raycast.AddStruct(L"RayStart", world.VectorStruct());
  raycast.AddStruct(L"RayEnd", world.VectorStruct());
  raycast.AddStruct(L"HitLocation", world.VectorStruct());
  raycast.AddObject(L"FilterClass");
  raycast.AddObject(L"Querier");
  raycast.AddBool(L"ReturnValue");
  raycast.Seal();
}

}  // namespace kvr::sim
