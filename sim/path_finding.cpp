#include "sim/path_finding.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kvr::sim {

namespace {

constexpr int32_t kMaxPathPoints = 99999;

aps::INav* QueryNavigation(const PathQuery* query) {
  if (!query || !query->world) return nullptr;
  // The navigation data must still be a live navmesh of that world.
  if (!query->world->ObjectAt(query->navDataId)) return nullptr;
  return query->world->Navigation();
}

void DestroyPath(PathReferenceController* self) {
  NavPath* path = self->path;
  self->path = nullptr;
  if (!path) return;
  // The points may have been replaced by whoever held the path; they came from the same
  // allocator either way.
  self->world->Free(path->points);
  path->~NavPath();
  self->world->Free(path);
}

void DeleteController(PathReferenceController* self, uint32_t flags) {
  World* world = self->world;
  self->~PathReferenceController();
  if (flags & 1) world->Free(self);
}

constexpr PathReferenceVtable kControllerVtable{&DestroyPath, &DeleteController};

// A path object holding `route`, owned by a fresh controller; false when allocation fails. The
// point array has `slack` spare places beyond the route.
bool MakePath(World& world, const aps::Route& route, bool partial, int32_t slack,
              PathResult& result) {
  const size_t capacity = route.size() + static_cast<size_t>(std::max(slack, 0));
  void* pathMemory = world.EngineMalloc(sizeof(NavPath), 16);
  void* controllerMemory = world.EngineMalloc(sizeof(PathReferenceController), 16);
  void* points = world.EngineMalloc(capacity * sizeof(aps::NavPoint), 16);
  if (!pathMemory || !controllerMemory || !points) {
    world.Free(pathMemory);
    world.Free(controllerMemory);
    world.Free(points);
    return false;
  }
  auto* path = new (pathMemory) NavPath();
  path->points = static_cast<aps::NavPoint*>(points);
  std::memcpy(path->points, route.data(), route.size() * sizeof(aps::NavPoint));
  path->count = static_cast<int32_t>(route.size());
  path->capacity = static_cast<int32_t>(capacity);
  if (partial) path->flags |= kNavPathPartialBit;
  path->world = &world;
  auto* controller = new (controllerMemory) PathReferenceController();
  controller->vtable = &kControllerVtable;
  controller->path = path;
  controller->world = &world;
  result.path = path;
  result.controller = controller;
  return true;
}

// A re-plan: the path instance the query names is refilled (its array kept when the route
// fits, else replaced) and handed back with one more shared reference.
bool RefillPath(World& world, const aps::Route& route, bool partial, int32_t slack,
                const PathQuery& query, PathResult& result) {
  NavPath* path = query.pathToFill;
  if (route.size() > static_cast<size_t>(path->capacity)) {
    const size_t capacity = route.size() + static_cast<size_t>(std::max(slack, 0));
    void* points = world.EngineMalloc(capacity * sizeof(aps::NavPoint), 16);
    if (!points) return false;
    world.Free(path->points);
    path->points = static_cast<aps::NavPoint*>(points);
    path->capacity = static_cast<int32_t>(capacity);
  }
  std::memcpy(path->points, route.data(), route.size() * sizeof(aps::NavPoint));
  path->count = static_cast<int32_t>(route.size());
  path->flags = static_cast<uint8_t>((path->flags & ~kNavPathPartialBit) |
                                     (partial ? kNavPathPartialBit : 0));
  std::atomic_ref<int32_t>(query.pathToFillController->sharedCount).fetch_add(1);
  result.path = path;
  result.controller = query.pathToFillController;
  return true;
}

// The engine's search: a partial path towards an unreachable goal when the level's navigation
// can tell, otherwise complete paths only.
bool SearchPath(World& world, aps::INav& nav, const PathQuery& query, aps::Route& route,
                bool& partial) {
  partial = false;
  if (LevelNavigation* level = world.LevelNav())
    return level->FindPathOrPartial(query.start, query.end, route, partial);
  return nav.FindPath(query.start, query.end, route);
}

}  // namespace

void ReleasePathReference(PathReferenceController* controller) {
  if (!controller) return;
  if (std::atomic_ref<int32_t>(controller->sharedCount).fetch_sub(1) != 1) return;
  controller->vtable->destroyObject(controller);
  if (std::atomic_ref<int32_t>(controller->weakCount).fetch_sub(1) != 1) return;
  controller->vtable->deletingDestructor(controller, 1);
}

PathResult* EngineFindPath(PathResult* result, const AgentProperties* agent,
                           const PathQuery* query) {
  if (!result) return result;
  *result = PathResult{};
  result->result = kPathError;
  aps::INav* nav = QueryNavigation(query);
  if (!nav) return result;
  World& world = *query->world;
  world.ChargeEngineTime(world.Costs().findPathNs);
  // Kept per thread for its capacity: the search itself should be what a query costs.
  thread_local aps::Route route;
  bool partial = false;
  result->result = kPathFail;
  if (!SearchPath(world, *nav, *query, route, partial) || route.empty() ||
      route.size() > static_cast<size_t>(kMaxPathPoints)) {
    return result;
  }
  const int32_t slack = world.NextPathPointSlack();
  const bool made = query->pathToFill && query->pathToFillController
                        ? RefillPath(world, route, partial, slack, *query, *result)
                        : MakePath(world, route, partial, slack, *result);
  if (made) result->result = kPathSuccess;
  return result;
}

bool EngineTestPath(const AgentProperties* agent, const PathQuery* query, int32_t* visited) {
  aps::INav* nav = QueryNavigation(query);
  aps::Route route;
  const bool found = nav && nav->FindPath(query->start, query->end, route);
  if (visited) *visited = static_cast<int32_t>(route.size());
  return found;
}

bool EngineTestHierarchicalPath(const AgentProperties* agent, const PathQuery* query,
                                int32_t* visited) {
  // Coarser than TestPath: both ends only have to lie on the navmesh.
  aps::INav* nav = QueryNavigation(query);
  aps::Vec3 a, b;
  const bool found = nav && nav->ProjectPoint(query->start, a) && nav->ProjectPoint(query->end, b);
  if (visited) *visited = found ? 2 : 0;
  return found;
}

bool EngineRaycast(const PathQuery* query, aps::Vec3* hit) {
  aps::INav* nav = QueryNavigation(query);
  if (nav) query->world->ChargeEngineTime(query->world->Costs().raycastNs);
  const bool blocked = nav && !nav->HasLineOfSight(query->start, query->end);
  if (hit) *hit = blocked ? query->start : query->end;
  return blocked;
}

void EngineNavSlots(void* (&slots)[kNavSlotCount]) {
  slots[0] = reinterpret_cast<void*>(&EngineFindPath);
  slots[1] = reinterpret_cast<void*>(&EngineFindPath);
  slots[2] = reinterpret_cast<void*>(&EngineTestPath);
  slots[3] = reinterpret_cast<void*>(&EngineTestHierarchicalPath);
  slots[4] = reinterpret_cast<void*>(&EngineRaycast);
}

UObject* SpawnEngineNavMesh(World& world, const GameClasses& g, std::wstring_view name,
                            const aps::Vec3& extent) {
  void* slots[kNavSlotCount];
  EngineNavSlots(slots);
  return SpawnNavMesh(world, g, name, slots, extent);
}

PathQuery MakePathQuery(World& world, const UObject* owner, const UObject* navmesh,
                        const aps::Vec3& start, const aps::Vec3& end) {
  PathQuery query;
  query.ownerIndex = world.GetInternalIndex(owner);
  query.start = start;
  query.end = end;
  query.navDataId = world.GetInternalIndex(navmesh);
  query.world = &world;
  return query;
}

void ReleaseHeldPath(HeldPath& held) {
  ReleasePathReference(held.controller);
  held = HeldPath{};
}

bool RunRePlanQuery(World& world, UObject* navmesh, PathQuery query, HeldPath& held,
                    aps::Route& route) {
  route.clear();
  auto findPath = reinterpret_cast<FindPathFunction>(NavSlot(navmesh, 0));
  if (!findPath) return false;
  // The query's shared pointer to the instance counts as a reference while the query lives.
  if (held.controller) std::atomic_ref<int32_t>(held.controller->sharedCount).fetch_add(1);
  query.pathToFill = held.path;
  query.pathToFillController = held.controller;
  const AgentProperties agent;
  PathResult result;
  findPath(&result, &agent, &query);
  ReleasePathReference(query.pathToFillController);
  const NavPath* path = result.path;
  const bool ok = result.result == kPathSuccess && path && path->points && path->count > 0 &&
                  path->count <= kMaxPathPoints && path->capacity >= path->count;
  if (!ok) {
    ReleasePathReference(result.controller);
    return false;
  }
  route.assign(path->points, path->points + path->count);
  // The result's reference becomes the held one (the same object when it was refilled).
  ReleaseHeldPath(held);
  held = {result.path, result.controller};
  return true;
}

bool RunPathQuery(World& world, UObject* navmesh, const PathQuery& query, aps::Route& route,
                  bool* partial) {
  route.clear();
  if (partial) *partial = false;
  auto findPath = reinterpret_cast<FindPathFunction>(NavSlot(navmesh, 0));
  if (!findPath) return false;
  const AgentProperties agent;
  PathResult result;
  findPath(&result, &agent, &query);
  const NavPath* path = result.path;
  const bool ok = result.result == kPathSuccess && path && path->points && path->count > 0 &&
                  path->count <= kMaxPathPoints && path->capacity >= path->count;
  if (ok) {
    route.assign(path->points, path->points + path->count);
    if (partial) *partial = (path->flags & kNavPathPartialBit) != 0;
  }
  ReleasePathReference(result.controller);
  return ok;
}

}  // namespace kvr::sim
