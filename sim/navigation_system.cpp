// The navigation system's two blueprint-callable queries, answered on the level's navigation.
// Without a level nothing projects and no ray is blocked, as in the engine without nav data.
#include <cstring>

#include "sim/game_classes.h"

namespace kvr::sim {

namespace {

aps::Vec3 Lerp(const aps::Vec3& a, const aps::Vec3& b, float t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

bool Positive(const aps::Vec3& v) {
  return v.x > 0 && v.y > 0 && v.z > 0;
}

// The navigation data a query names: null (the level's default) or a live navmesh of this
// world; anything else (a destroyed navmesh, an object that is no navigation data) is refused.
bool UsableNavData(World& world, const UObject* navData) {
  if (!navData) return true;
  const Class* navigationData = world.FindClass(L"NavigationData");
  return navigationData && world.IsAlive(navData) && Header(navData)->cls &&
         Header(navData)->cls->IsChildOf(navigationData);
}

// The box to search: the caller's extent when it gives one, else the navigation data's
// DefaultQueryExtent, else the level navigation's own.
bool ProjectInBox(World& world, aps::INav& nav, const aps::Vec3& point, const aps::Vec3* asked,
                  const UObject* navData, aps::Vec3& out) {
  LevelNavigation* level = world.LevelNav();
  if (!level) return nav.ProjectPoint(point, out);
  if (asked && Positive(*asked)) return level->ProjectPointInBox(point, *asked, out);
  if (navData) {
    aps::Vec3 extent;
    std::memcpy(&extent,
                reinterpret_cast<const unsigned char*>(navData) + kDefaultQueryExtentOffset,
                sizeof extent);
    if (Positive(extent)) return level->ProjectPointInBox(point, extent, out);
  }
  return nav.ProjectPoint(point, out);
}

// K2_ProjectPointToNavigation(WorldContextObject, Point, ProjectedLocation, NavData, FilterClass,
// QueryExtent) -> bool
void ProjectPointBody(NativeCall& call) {
  const auto* point = call.Param<aps::Vec3>(L"Point");
  const auto* extent = call.Param<aps::Vec3>(L"QueryExtent");
  auto* const* navData = call.Param<UObject*>(L"NavData");
  auto* projected = call.Param<aps::Vec3>(L"ProjectedLocation");
  auto* result = call.Param<uint8_t>(L"ReturnValue");
  aps::INav* nav = call.world.Navigation();
  if (nav) call.world.ChargeEngineTime(call.world.Costs().projectNs);
  const UObject* data = navData ? *navData : nullptr;
  aps::Vec3 out{};
  const bool ok = nav && point && UsableNavData(call.world, data) &&
                  ProjectInBox(call.world, *nav, *point, extent, data, out);
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
  if (nav) call.world.ChargeEngineTime(call.world.Costs().raycastNs);
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
