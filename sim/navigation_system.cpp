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
bool UsableNavData(World& world, const Class* navigationData, const UObject* navData) {
  if (!navData) return true;
  return navigationData && world.IsAlive(navData) && Header(navData)->cls &&
         Header(navData)->cls->IsChildOf(navigationData);
}

// The box to search: the caller's extent when it gives one, else the navigation data's
// DefaultQueryExtent, else the level navigation's own.
bool ProjectInBox(World& world, aps::INav& nav, const aps::Vec3& point, const aps::Vec3& asked,
                  const UObject* navData, aps::Vec3& out) {
  LevelNavigation* level = world.LevelNav();
  if (!level) return nav.ProjectPoint(point, out);
  if (Positive(asked)) return level->ProjectPointInBox(point, asked, out);
  if (navData) {
    aps::Vec3 extent;
    std::memcpy(&extent,
                reinterpret_cast<const unsigned char*>(navData) + kDefaultQueryExtentOffset,
                sizeof extent);
    if (Positive(extent)) return level->ProjectPointInBox(point, extent, out);
  }
  return nav.ProjectPoint(point, out);
}

// A parameter of a block, at the offset its function was sealed with.
template <typename T>
T& At(const NativeCall& call, int32_t offset) {
  return *reinterpret_cast<T*>(static_cast<unsigned char*>(call.params) + offset);
}

// Offsets of the parameters, read once when the function is defined (a body runs for every
// projection and line test of every arc build).
struct ProjectParams {
  int32_t point, extent, navData, projected, result;
  const Class* navigationData;  // the class a NavData object must derive from
};
struct RaycastParams {
  int32_t start, end, hit, result;
};

int32_t OffsetOf(const Function& f, std::wstring_view name) {
  return f.FindOwn(name)->offset;
}

// K2_ProjectPointToNavigation(WorldContextObject, Point, ProjectedLocation, NavData, FilterClass,
// QueryExtent) -> bool
void ProjectPointBody(NativeCall& call, const ProjectParams& p) {
  aps::INav* nav = call.world.Navigation();
  if (nav) call.world.ChargeEngineTime(call.world.Costs().projectNs);
  const UObject* data = At<UObject*>(call, p.navData);
  aps::Vec3 out{};
  const bool ok = nav && UsableNavData(call.world, p.navigationData, data) &&
                  ProjectInBox(call.world, *nav, At<aps::Vec3>(call, p.point),
                               At<aps::Vec3>(call, p.extent), data, out);
  At<aps::Vec3>(call, p.projected) = ok ? out : aps::Vec3{};
  At<uint8_t>(call, p.result) = ok ? 1 : 0;
}

// Where a blocked ray stops, for navigation that only says blocked or open: halve towards the
// last open point.
aps::Vec3 SearchHit(aps::INav& nav, const aps::Vec3& start, const aps::Vec3& end) {
  float open = 0.0f, closed = 1.0f;
  for (int i = 0; i < 8; ++i) {
    const float mid = 0.5f * (open + closed);
    (nav.HasLineOfSight(start, Lerp(start, end, mid)) ? open : closed) = mid;
  }
  return Lerp(start, end, open);
}

// NavigationRaycast(WorldContextObject, RayStart, RayEnd, HitLocation, FilterClass, Querier)
// -> bool, true when the ray hits the navmesh's edge.
void RaycastBody(NativeCall& call, const RaycastParams& p) {
  aps::INav* nav = call.world.Navigation();
  const aps::Vec3& start = At<aps::Vec3>(call, p.start);
  const aps::Vec3& end = At<aps::Vec3>(call, p.end);
  aps::Vec3 hit = end;
  bool blocked = false;
  if (nav) {
    call.world.ChargeEngineTime(call.world.Costs().raycastNs);
    if (LevelNavigation* level = call.world.LevelNav()) {
      blocked = level->RaycastHit(start, end, hit);
    } else if (!nav->HasLineOfSight(start, end)) {
      blocked = true;
      hit = SearchHit(*nav, start, end);
    }
  }
  At<uint8_t>(call, p.result) = blocked ? 1 : 0;
  At<aps::Vec3>(call, p.hit) = hit;
}

}  // namespace

void DefineNavigationFunctions(World& world, Class& navigationSystem) {
  Function& project = world.DefineFunction(navigationSystem, L"K2_ProjectPointToNavigation");
  project.AddObject(L"WorldContextObject");
  project.AddStruct(L"Point", world.VectorStruct());
  project.AddStruct(L"ProjectedLocation", world.VectorStruct());
  project.AddObject(L"NavData");
  project.AddObject(L"FilterClass");
  project.AddStruct(L"QueryExtent", world.VectorStruct());
  project.AddBool(L"ReturnValue");
  project.Seal();
  const ProjectParams pp{OffsetOf(project, L"Point"),       OffsetOf(project, L"QueryExtent"),
                         OffsetOf(project, L"NavData"),     OffsetOf(project, L"ProjectedLocation"),
                         OffsetOf(project, L"ReturnValue"), world.FindClass(L"NavigationData")};
  project.body = [pp](NativeCall& call) { ProjectPointBody(call, pp); };

  Function& raycast = world.DefineFunction(navigationSystem, L"NavigationRaycast");
  raycast.AddObject(L"WorldContextObject");
  raycast.AddStruct(L"RayStart", world.VectorStruct());
  raycast.AddStruct(L"RayEnd", world.VectorStruct());
  raycast.AddStruct(L"HitLocation", world.VectorStruct());
  raycast.AddObject(L"FilterClass");
  raycast.AddObject(L"Querier");
  raycast.AddBool(L"ReturnValue");
  raycast.Seal();
  const RaycastParams rp{OffsetOf(raycast, L"RayStart"), OffsetOf(raycast, L"RayEnd"),
                         OffsetOf(raycast, L"HitLocation"), OffsetOf(raycast, L"ReturnValue")};
  raycast.body = [rp](NativeCall& call) { RaycastBody(call, rp); };
}

}  // namespace kvr::sim
