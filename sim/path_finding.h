// The engine's path functions, the ones a navmesh's five slots point at: FindPath (also in the
// hierarchical slot), TestPath, TestHierarchicalPath and Raycast. They answer on the world's
// level navigation (INav) and may run on any thread.
//
// FindPath has the engine's calling convention: the result record to fill comes first and is
// returned. On success the result holds a path object and its reference controller, both from
// the engine allocator; whoever receives them releases the reference (ReleasePathReference).
// A query that names a path instance to fill (a re-plan) gets that object back, refilled, with
// one more shared reference. A goal that lies on the navmesh but cannot be reached still gives
// success, with the path to the nearest reachable point marked partial (kNavPathPartialBit), when
// the level's navigation can find such paths. Point arrays may have spare capacity
// (World::SetPathPointSlack). On the game thread each call costs the frame simulated time
// (World::NavigationCosts).
#pragma once
#include "sim/game_objects.h"
#include "sim/path_records.h"

namespace kvr::sim {

using FindPathFunction = PathResult* (*)(PathResult* result, const AgentProperties* agent,
                                         const PathQuery* query);

PathResult* EngineFindPath(PathResult* result, const AgentProperties* agent,
                           const PathQuery* query);
bool EngineTestPath(const AgentProperties* agent, const PathQuery* query, int32_t* visited);
bool EngineTestHierarchicalPath(const AgentProperties* agent, const PathQuery* query,
                                int32_t* visited);
bool EngineRaycast(const PathQuery* query, aps::Vec3* hit);

// The slot contents of a navmesh of this engine build.
void EngineNavSlots(void* (&slots)[kNavSlotCount]);

// A navmesh whose slots hold this engine's path functions.
UObject* SpawnEngineNavMesh(World& world, const GameClasses& g, std::wstring_view name,
                            const aps::Vec3& extent = {50.0f, 50.0f, 250.0f});

// A query from `owner` on `navmesh` (ids are their internal indices).
PathQuery MakePathQuery(World& world, const UObject* owner, const UObject* navmesh,
                        const aps::Vec3& start, const aps::Vec3& end);

// What the engine's path following does: calls the navmesh's FindPath slot (whatever it holds
// now), copies the path's points, releases the reference. False (route empty) without a path.
bool RunPathQuery(World& world, UObject* navmesh, const PathQuery& query, aps::Route& route,
                  bool* partial = nullptr);

// A path object its follower keeps between plans, with the one shared reference it holds.
struct HeldPath {
  NavPath* path = nullptr;
  PathReferenceController* controller = nullptr;
};

// Drops the follower's reference; the path goes with the last one.
void ReleaseHeldPath(HeldPath& held);

// What the engine's path following does on a re-plan: the query names the path it follows as
// the instance to fill, FindPath refills that object (or makes one when none is held), and the
// follower keeps the result. On failure `held` stays as it was and `route` is empty.
bool RunRePlanQuery(World& world, UObject* navmesh, PathQuery query, HeldPath& held,
                    aps::Route& route);

}  // namespace kvr::sim
