// The simulated engine's path functions behind the navmesh slots: FindPath's records, the path
// object's ownership through its reference controller, and a replaced slot.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/code_range.h"
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

}  // namespace
}  // namespace kvr::sim
