// The simulated engine's path functions behind the navmesh slots: FindPath's records, the path
// object's ownership through its reference controller, and a replaced slot.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "host/reflection.h"
#include "nav_fixture.h"
#include "platform/code_range.h"
#include "platform/steady_clock.h"
#include "sim/game_objects.h"
#include "sim/nav/detour_nav.h"
#include "sim/path_finding.h"

namespace kvr::sim {
namespace {

// Straight three-point paths inside |x| < 1000; nothing outside.
class StraightNav final : public aps::INav {
 public:
  bool ProjectPoint(const aps::Vec3& p, aps::Vec3& out) override {
    out = p;
    return std::abs(p.x) < 1000;
  }
  bool FindPath(const aps::Vec3& a, const aps::Vec3& b, aps::Route& points) override {
    if (std::abs(a.x) >= 1000 || std::abs(b.x) >= 1000) return false;
    points.assign(3, aps::NavPoint{});
    points[0].location = a;
    points[1].location = {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2};
    points[2].location = b;
    return true;
  }
  bool HasLineOfSight(const aps::Vec3&, const aps::Vec3&) override { return true; }
};

class SimPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = RegisterGameClasses(world_);
    world_.SetNavigation(&nav_);
    navmesh_ = SpawnEngineNavMesh(world_, game_, L"RecastNavMesh-Default");
    owner_ = world_.Spawn(*game_.baseAIController, L"Owner");
  }

  World world_;
  GameClasses game_;
  StraightNav nav_;
  UObject* navmesh_ = nullptr;
  UObject* owner_ = nullptr;
};

TEST_F(SimPathTest, FindPathFillsTheResultAndReleaseFreesEverything) {
  const PathQuery query = MakePathQuery(world_, owner_, navmesh_, {0, 0, 0}, {400, 200, 0});
  EXPECT_EQ(query.navDataId, world_.GetInternalIndex(navmesh_));
  const AgentProperties agent;
  PathResult result;
  std::memset(static_cast<void*>(&result), 0xCD,
              sizeof(result));  // FindPath must not rely on a zeroed record
  auto findPath = reinterpret_cast<FindPathFunction>(NavSlot(navmesh_, 0));
  EXPECT_EQ(findPath(&result, &agent, &query), &result);
  ASSERT_EQ(result.result, kPathSuccess);
  ASSERT_NE(result.path, nullptr);
  ASSERT_NE(result.controller, nullptr);
  EXPECT_EQ(result.path->count, 3);
  EXPECT_GE(result.path->capacity, result.path->count);
  EXPECT_EQ(result.path->points[1].location.x, 200.0f);
  EXPECT_EQ(result.path->flags & kNavPathPartialBit, 0);
  EXPECT_EQ(result.controller->sharedCount, 1);
  EXPECT_EQ(world_.LiveAllocations(), 3);

  // A second holder keeps the path alive past the first release.
  result.controller->sharedCount = 2;
  ReleasePathReference(result.controller);
  EXPECT_EQ(world_.LiveAllocations(), 3);
  EXPECT_EQ(result.path->points[2].location.y, 200.0f);
  ReleasePathReference(result.controller);
  EXPECT_EQ(world_.LiveAllocations(), 0);
  EXPECT_EQ(world_.BadFrees(), 0);
}

TEST_F(SimPathTest, FailuresCarryNoPathAndAllocateNothing) {
  PathResult result;
  const AgentProperties agent;
  PathQuery query = MakePathQuery(world_, owner_, navmesh_, {0, 0, 0}, {5000, 0, 0});
  EngineFindPath(&result, &agent, &query);
  EXPECT_EQ(result.result, kPathFail);
  EXPECT_EQ(result.path, nullptr);
  EXPECT_EQ(result.controller, nullptr);

  query.navDataId = world_.GetInternalIndex(owner_) + 1000;  // no such navmesh
  query.end = {100, 0, 0};
  EngineFindPath(&result, &agent, &query);
  EXPECT_EQ(result.result, kPathError);

  world_.SetNavigation(nullptr);  // level unloaded
  aps::Route route;
  EXPECT_FALSE(RunPathQuery(world_, navmesh_,
                            MakePathQuery(world_, owner_, navmesh_, {}, {100, 0, 0}), route));
  EXPECT_TRUE(route.empty());
  EXPECT_EQ(world_.LiveAllocations(), 0);
  ReleasePathReference(nullptr);
}

// A replacement FindPath of the kind a mod installs: runs the engine's own first, then grows
// the point array through the engine allocator and writes five points.
FindPathFunction g_original = nullptr;
World* g_world = nullptr;

PathResult* GrowingHook(PathResult* result, const AgentProperties* agent, const PathQuery* query) {
  g_original(result, agent, query);
  NavPath* path = result->path;
  if (result->result != kPathSuccess || !path) return result;
  auto* grown = static_cast<aps::NavPoint*>(g_world->Malloc(5 * sizeof(aps::NavPoint), 16));
  for (int i = 0; i < 5; ++i) grown[i].location = {static_cast<float>(i) * 10.0f, 1.0f, 0.0f};
  g_world->Free(path->points);
  path->points = grown;
  path->count = path->capacity = 5;
  return result;
}

TEST_F(SimPathTest, PathFollowingCallsWhateverTheSlotHoldsNow) {
  aps::Route route;
  bool partial = true;
  const PathQuery query = MakePathQuery(world_, owner_, navmesh_, {0, 0, 0}, {300, 0, 0});
  ASSERT_TRUE(RunPathQuery(world_, navmesh_, query, route, &partial));
  EXPECT_EQ(route.size(), 3u);
  EXPECT_FALSE(partial);

  g_original = reinterpret_cast<FindPathFunction>(NavSlot(navmesh_, 0));
  g_world = &world_;
  SetNavSlot(navmesh_, 0, reinterpret_cast<void*>(&GrowingHook));
  ASSERT_TRUE(RunPathQuery(world_, navmesh_, query, route, &partial));
  ASSERT_EQ(route.size(), 5u);
  EXPECT_EQ(route[4].location.x, 40.0f);
  // The engine released the grown array with the path: nothing leaked, nothing freed twice.
  EXPECT_EQ(world_.LiveAllocations(), 0);
  EXPECT_EQ(world_.BadFrees(), 0);
}

TEST_F(SimPathTest, QueriesFromSeveralThreadsAtOnceKeepTheirOwnPaths) {
  std::atomic<int> wrong{0};
  auto worker = [&](float y) {
    for (int i = 0; i < 200; ++i) {
      aps::Route route;
      const aps::Vec3 goal{static_cast<float>(i), y, 0.0f};
      const PathQuery query = MakePathQuery(world_, owner_, navmesh_, {0, y, 0}, goal);
      if (!RunPathQuery(world_, navmesh_, query, route) || route.size() != 3 ||
          route[2].location.x != goal.x || route[2].location.y != y) {
        ++wrong;
      }
    }
  };
  std::thread a(worker, 1.0f), b(worker, 2.0f);
  worker(3.0f);
  a.join();
  b.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(world_.LiveAllocations(), 0);
  EXPECT_EQ(world_.BadFrees(), 0);
}

TEST_F(SimPathTest, SlotsHaveTheVerifiedShapeInsideTheProgramsCode) {
  platform::CodeRange code;
  ASSERT_TRUE(platform::ExecutableCodeRange(code));
  void* s[kNavSlotCount];
  for (int i = 0; i < kNavSlotCount; ++i) {
    s[i] = NavSlot(navmesh_, i);
    const auto address = reinterpret_cast<uint64_t>(s[i]);
    EXPECT_TRUE(address >= code.start && address < code.end) << "slot " << i;
  }
  EXPECT_EQ(s[0], s[1]);
  EXPECT_NE(s[0], s[4]);
  EXPECT_NE(s[0], s[2]);
  EXPECT_NE(s[2], s[3]);
}

// The same engine on the arena's Detour navmesh: what the engine answers for goals it cannot
// reach, how it sizes point arrays, and what its navigation costs the frame.
class SimArenaPathTest : public ::testing::Test {
 protected:
  SimArenaPathTest() : game_(RegisterGameClasses(world_)), level_(test::Arena().mesh) {
    world_.SetNavigation(&level_);
    navmesh_ = SpawnEngineNavMesh(world_, game_, L"RecastNavMesh-Default");
    owner_ = world_.Spawn(*game_.baseAIController, L"Owner");
  }
  ~SimArenaPathTest() override {
    EXPECT_EQ(world_.LiveAllocations(), 0);
    EXPECT_EQ(world_.BadFrees(), 0);
  }
  PathResult Find(const aps::Vec3& from, const aps::Vec3& to) {
    const PathQuery query = MakePathQuery(world_, owner_, navmesh_, from, to);
    PathResult result;
    EngineFindPath(&result, &agent_, &query);
    return result;
  }

  World world_;
  GameClasses game_;
  DetourNav level_;
  UObject* navmesh_ = nullptr;
  UObject* owner_ = nullptr;
  AgentProperties agent_;
};

TEST_F(SimArenaPathTest, AnUnreachableGoalGivesAPartialPathToTheNearestPoint) {
  PathResult result = Find({0, 0, 0}, {2000, 2000, 0});  // inside the closed room
  ASSERT_EQ(result.result, kPathSuccess);
  ASSERT_NE(result.path, nullptr);
  EXPECT_NE(result.path->flags & kNavPathPartialBit, 0);
  const aps::Vec3 end = result.path->points[result.path->count - 1].location;
  EXPECT_TRUE(end.x < 1600 || end.y < 1600 || end.x > 2400 || end.y > 2400) << "ends outside";
  EXPECT_LT(std::hypot(end.x - 2000, end.y - 2000), 600.0f) << "ends close to it";
  ReleasePathReference(result.controller);

  result = Find({0, 0, 0}, {1200, 1200, 0});  // inside a pillar: off the navmesh
  EXPECT_EQ(result.result, kPathFail);
  result = Find({0, 0, 0}, {2800, 0, 0});
  ASSERT_EQ(result.result, kPathSuccess);
  EXPECT_EQ(result.path->flags & kNavPathPartialBit, 0);
  ReleasePathReference(result.controller);
}

TEST_F(SimArenaPathTest, PointArraysAlternateBetweenExactAndSpareCapacity) {
  int exact = 0, spare = 0;
  for (int i = 0; i < 4; ++i) {
    PathResult result = Find({-2000, -1000, 0}, {2000, 500, 0});
    ASSERT_EQ(result.result, kPathSuccess);
    if (result.path->capacity == result.path->count) ++exact;
    if (result.path->capacity == result.path->count + kReusedPathSlack) ++spare;
    ReleasePathReference(result.controller);
  }
  EXPECT_EQ(exact, 2);
  EXPECT_EQ(spare, 2);
  world_.SetPathPointSlack(5);
  PathResult result = Find({-2000, -1000, 0}, {2000, 500, 0});
  EXPECT_EQ(result.path->capacity, result.path->count + 5);
  ReleasePathReference(result.controller);
}

TEST_F(SimArenaPathTest, ProjectionSearchesTheAskedBoxOrTheNavmeshsOwn) {
  UObject* system = game_.navigationSystemDefault;
  host::SetHost(&world_);
  host::ParamLayout project;
  ASSERT_TRUE(host::BuildParamLayout(project, system, L"K2_ProjectPointToNavigation", {}));
  auto projects = [&](const aps::Vec3& extent, UObject* navData) {
    host::ParamBlock block(project);
    block.SetVec3(L"Point", {100, 200, 150});  // 150 cm above the floor
    block.SetVec3(L"QueryExtent", extent);
    block.SetObject(L"NavData", navData);
    uint8_t ok = 0xAA;
    block.Call(system);
    block.GetByte(L"ReturnValue", ok);
    return ok;
  };
  EXPECT_EQ(projects({50, 50, 250}, navmesh_), 1);
  EXPECT_EQ(projects({50, 50, 100}, navmesh_), 0);
  // No extent given: the navmesh's DefaultQueryExtent decides.
  UObject* flat = SpawnEngineNavMesh(world_, game_, L"Flat", {50, 50, 100});
  UObject* tall = SpawnEngineNavMesh(world_, game_, L"Tall", {50, 50, 300});
  EXPECT_EQ(projects({}, flat), 0);
  EXPECT_EQ(projects({}, tall), 1);
  EXPECT_EQ(projects({50, 50, 250}, owner_), 0) << "a controller is no navigation data";
  world_.Destroy(tall);
  EXPECT_EQ(projects({50, 50, 250}, tall), 0) << "a destroyed navmesh projects nothing";
  EXPECT_EQ(projects({50, 50, 250}, nullptr), 1) << "none named: the level's default";
  host::SetHost(nullptr);
}

TEST_F(SimArenaPathTest, NavigationOnTheFrameThreadCostsTheFrameSimulatedTime) {
  world_.SetPathPointSlack(0);
  const NavigationCosts costs = world_.Costs();
  double frameStart[3] = {}, afterQuery = 0;
  int frame = 0;
  world_.AddFrameHook([&](World& w, double) {
    frameStart[frame] = platform::SteadySeconds();
    if (frame++ != 1) return;
    aps::Route route;
    RunPathQuery(w, navmesh_, MakePathQuery(w, owner_, navmesh_, {0, 0, 0}, {500, 0, 0}), route);
    RunPathQuery(w, navmesh_, MakePathQuery(w, owner_, navmesh_, {0, 0, 0}, {900, 0, 0}), route);
    afterQuery = platform::SteadySeconds();
  });
  for (int i = 0; i < 3; ++i) world_.Tick(0.01);
  EXPECT_NEAR(afterQuery - frameStart[1], 2 * costs.findPathNs * 1e-9, 1e-9);
  // The frame's own length absorbs the work: frames still start 10 ms apart.
  EXPECT_NEAR(frameStart[2] - frameStart[1], 0.01, 1e-9);
  EXPECT_NEAR(frameStart[1] - frameStart[0], 0.01, 1e-9);

  // Another thread's queries run beside the frames and cost them nothing.
  const double before = platform::SteadySeconds();
  std::thread worker([&] {
    aps::Route route;
    RunPathQuery(world_, navmesh_, MakePathQuery(world_, owner_, navmesh_, {}, {500, 0, 0}), route);
  });
  worker.join();
  EXPECT_EQ(platform::SteadySeconds(), before);
}

}  // namespace
}  // namespace kvr::sim
