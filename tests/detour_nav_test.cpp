// DetourNav on the real arena navmesh: what the engine's navigation answers, including the
// cases where Detour alone would say more than it should.
#include <DetourNavMesh.h>
#include <DetourNavMeshQuery.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include "nav_fixture.h"
#include "sim/nav/detour_nav.h"

namespace {

using kvr::aps::NavPoint;
using kvr::aps::Route;
using kvr::aps::Vec3;
using kvr::sim::DetourNav;
using kvr::test::Arena;

float Horizontal(const Vec3& a, const Vec3& b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

TEST(NavMeshBuild, ArenaFloorIsWalkableAndEveryPolygonHasFlags) {
  const kvr::sim::NavMesh& mesh = Arena().mesh;
  ASSERT_TRUE(mesh.Valid());
  const dtMeshTile* tile = mesh.Detour()->getTile(0);
  ASSERT_NE(tile, nullptr);
  ASSERT_GT(tile->header->polyCount, 10);
  for (int i = 0; i < tile->header->polyCount; ++i)
    EXPECT_NE(tile->polys[i].flags, 0) << "polygon " << i;
  // The floor faces up after the axis swap: it is the surface a point above it lands on.
  DetourNav nav(mesh);
  Vec3 p;
  ASSERT_TRUE(nav.ProjectPoint({10, 20, 100}, p));
  EXPECT_NEAR(p.x, 10, 0.01);
  EXPECT_NEAR(p.y, 20, 0.01);
  EXPECT_NEAR(p.z, 0, 5);
  const Vec3 lo = mesh.BoundsMin(), hi = mesh.BoundsMax();
  EXPECT_NEAR(lo.x, -3000, 1);
  EXPECT_NEAR(hi.y, 3000, 1);
  EXPECT_NEAR(lo.z, 0, 20);
}

TEST(NavMeshBuild, ObstaclesAreUnwalkableWithAgentClearance) {
  DetourNav nav(Arena().mesh);
  Vec3 p;
  EXPECT_FALSE(nav.ProjectPoint({1200, 1200, 0}, p));  // inside a pillar
  // A 120 cm crate: its top is within the query box but must not be walkable.
  EXPECT_FALSE(nav.ProjectPoint({-600, 0, 0}, p));
  EXPECT_FALSE(nav.ProjectPoint({-600, 0, 120}, p));
  // 10 cm from a pillar face: the nearest walkable point keeps about an agent radius away.
  ASSERT_TRUE(nav.ProjectPoint({1260, 1200, 0}, p));
  EXPECT_GE(p.x, 1250 + 34 - 9);
  // The closed room's floor is walkable, only unreachable.
  EXPECT_TRUE(nav.ProjectPoint({2000, 2000, 0}, p));
}

TEST(NavMeshBuild, HostileLevelSizesAreRefused) {
  kvr::sim::Level level;
  level.floorMinX = level.floorMinY = -49000;
  level.floorMaxX = level.floorMaxY = 49000;
  kvr::sim::NavMesh mesh;
  std::string error;
  EXPECT_FALSE(kvr::sim::BuildNavMesh(level, {}, mesh, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(mesh.Valid());
  kvr::sim::NavMeshConfig silly;
  silly.cellSize = 0;
  level.floorMinX = level.floorMinY = 0, level.floorMaxX = level.floorMaxY = 500;
  EXPECT_FALSE(kvr::sim::BuildNavMesh(level, silly, mesh, error));
  level.walls.push_back({100, 100, 100, 100, 10, 100});  // no length: no direction to grow
  EXPECT_FALSE(kvr::sim::BuildNavMesh(level, {}, mesh, error));
  EXPECT_NE(error.find("wall"), std::string::npos);
  level.walls.clear();
  level.boxes.push_back({{0, 0, -49000}, {10, 10, 49000}});  // too tall for Recast's spans
  EXPECT_FALSE(kvr::sim::BuildNavMesh(level, {}, mesh, error));
  level.boxes.clear();
  level.boxes.push_back({{0, 0, 0}, {std::numeric_limits<float>::quiet_NaN(), 10, 10}});
  EXPECT_FALSE(kvr::sim::BuildNavMesh(level, {}, mesh, error));
  DetourNav nav(mesh);  // built from nothing: answers false, never crashes
  Vec3 p;
  Route r;
  EXPECT_FALSE(nav.Valid());
  EXPECT_FALSE(nav.ProjectPoint({0, 0, 0}, p));
  EXPECT_FALSE(nav.FindPath({0, 0, 0}, {1, 1, 0}, r));
  EXPECT_FALSE(nav.HasLineOfSight({0, 0, 0}, {1, 1, 0}));
}

TEST(DetourNavProject, RejectsPointsOutsideTheQueryBox) {
  DetourNav nav(Arena().mesh);
  Vec3 p{7, 7, 7};
  EXPECT_TRUE(nav.ProjectPoint({0, 0, 240}, p));
  EXPECT_NEAR(p.z, 0, 0.5);
  p = {7, 7, 7};
  EXPECT_FALSE(nav.ProjectPoint({0, 0, 260}, p));   // floor 260 cm below
  EXPECT_FALSE(nav.ProjectPoint({3100, 0, 0}, p));  // off the floor
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(nav.ProjectPoint({nan, 0, 0}, p));
  EXPECT_FALSE(nav.ProjectPoint({0, std::numeric_limits<float>::infinity(), 0}, p));
  EXPECT_EQ(p.x, 7);  // untouched on failure
}

// Detour's search box is compared with quantised polygon bounds, so a polygon can be found
// whose nearest point lies outside the box. Reproduce that with Detour itself, then check that
// DetourNav refuses the same query.
TEST(DetourNavProject, RejectsANearestPointDetourFoundOutsideTheBox) {
  const kvr::sim::NavMesh& mesh = Arena().mesh;
  dtNavMeshQuery* query = dtAllocNavMeshQuery();
  ASSERT_TRUE(dtStatusSucceed(query->init(mesh.Detour(), 64)));
  dtQueryFilter filter;
  bool reproduced = false;
  for (float z = 1; z <= 20 && !reproduced; z += 1) {
    const Vec3 point{100, 100, z + 1.5f};
    const Vec3 extent{50, 50, 1};
    float c[3], h[3], nearest[3];
    kvr::sim::ToRecast(point, c);
    kvr::sim::ToRecast(extent, h);
    dtPolyRef ref = 0;
    query->findNearestPoly(c, h, &filter, &ref, nearest);
    if (ref != 0 && std::fabs(nearest[1] - c[1]) > h[1]) {
      reproduced = true;
      DetourNav nav(mesh, extent);
      Vec3 p;
      EXPECT_FALSE(nav.ProjectPoint(point, p)) << "z " << point.z;
    }
  }
  dtFreeNavMeshQuery(query);
  EXPECT_TRUE(reproduced) << "Detour no longer reports polygons outside the box";
}

TEST(DetourNavFindPath, OpenGroundGivesTheStraightLine) {
  DetourNav nav(Arena().mesh);
  Route route(5);  // replaced, not appended to
  ASSERT_TRUE(nav.FindPath({0, -800, 0}, {0, 800, 0}, route));
  ASSERT_EQ(route.size(), 2u);
  EXPECT_LT(Horizontal(route.front().location, {0, -800, 0}), 1.0f);
  EXPECT_LT(Horizontal(route.back().location, {0, 800, 0}), 1.0f);
  EXPECT_NE(route.front().nodeRef, 0u);
  EXPECT_EQ(route.front().customLinkId, 0u);
}

TEST(DetourNavFindPath, WalksAroundObstaclesAndThroughTheDoor) {
  DetourNav nav(Arena().mesh);
  Route route;
  ASSERT_TRUE(nav.FindPath({1200, 900, 0}, {1200, 1500, 0}, route));  // pillar in between
  ASSERT_GE(route.size(), 3u);
  for (size_t i = 1; i < route.size(); ++i)
    EXPECT_TRUE(kvr::test::SegmentOnNavmesh(nav, route[i - 1].location, route[i].location)) << i;
  EXPECT_FALSE(kvr::test::SegmentOnNavmesh(nav, {1200, 900, 0}, {1200, 1500, 0}));
  ASSERT_TRUE(nav.FindPath({0, -1000, 0}, {-2000, -2000, 0}, route));  // into the room
  bool throughDoor = false;
  for (const NavPoint& p : route)
    throughDoor |=
        std::fabs(p.location.x + 1600) < 120 && p.location.y > -2100 && p.location.y < -1900;
  EXPECT_TRUE(throughDoor);
}

TEST(DetourNavFindPath, PartialPathsAndOffMeshEndsFail) {
  DetourNav nav(Arena().mesh);
  Route route;
  EXPECT_FALSE(nav.FindPath({0, 0, 0}, {2000, 2000, 0}, route));  // closed room
  EXPECT_FALSE(nav.FindPath({0, 0, 0}, {1200, 1200, 0}, route));  // inside a pillar
  EXPECT_FALSE(nav.FindPath({0, 0, 900}, {500, 0, 0}, route));    // far above the floor
  EXPECT_TRUE(nav.FindPath({-2800, -2800, 0}, {2800, 0, 0}, route));
  DetourNav starved(Arena().mesh, kvr::sim::kDefaultQueryExtent, 4);  // tiny node pool
  EXPECT_FALSE(starved.FindPath({-2800, -2800, 0}, {2800, 0, 0}, route));
}

TEST(DetourNavLineOfSight, OpenOnlyWhenTheRayHitsNothing) {
  DetourNav nav(Arena().mesh);
  EXPECT_TRUE(nav.HasLineOfSight({0, -800, 0}, {0, 800, 0}));
  EXPECT_FALSE(nav.HasLineOfSight({1200, 900, 0}, {1200, 1500, 0}));   // pillar
  EXPECT_FALSE(nav.HasLineOfSight({1500, 2000, 0}, {2000, 2000, 0}));  // room wall
  EXPECT_FALSE(nav.HasLineOfSight({0, 0, 0}, {3500, 0, 0}));           // off the floor
  EXPECT_FALSE(nav.HasLineOfSight({1200, 1200, 0}, {0, 0, 0}));        // start in a pillar
}

// Queries from several threads, each with its own DetourNav and all sharing one, answer
// exactly what a single thread answers.
TEST(DetourNavThreads, ParallelQueriesMatchSerialAnswers) {
  const kvr::sim::NavMesh& mesh = Arena().mesh;
  std::vector<Vec3> goals;
  for (int i = 0; i < 40; ++i) goals.push_back({-2600.0f + 130.0f * i, 2600.0f - 97.0f * i, 0});
  auto run = [&](DetourNav& nav, std::vector<size_t>& sizes) {
    Route r;
    for (const Vec3& g : goals) {
      sizes.push_back(nav.FindPath({-2800, -2800, 0}, g, r) ? r.size() : 0);
      sizes.push_back(nav.HasLineOfSight({0, 0, 0}, g));
    }
  };
  std::vector<size_t> serial, own1, own2, shared1, shared2;
  DetourNav first(mesh);
  run(first, serial);
  {
    DetourNav shared(mesh);
    std::thread t1([&] {
      DetourNav own(mesh);
      run(own, own1);
      run(shared, shared1);
    });
    std::thread t2([&] {
      DetourNav own(mesh);
      run(own, own2);
      run(shared, shared2);
    });
    t1.join();
    t2.join();
  }
  EXPECT_EQ(own1, serial);
  EXPECT_EQ(own2, serial);
  EXPECT_EQ(shared1, serial);
  EXPECT_EQ(shared2, serial);
}

}  // namespace

namespace {

// Odd but legal levels (overlapping, thin, turned, partly outside the floor, floating) either
// build a navmesh that answers queries or fail with a reason; nothing crashes. Run under the
// sanitizers this walks Recast and Detour through many shapes.
TEST(NavMeshBuild, RandomLevelsBuildOrFailCleanly) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> pos(-700, 700), size(1, 400), height(1, 500);
  int built = 0;
  for (int n = 0; n < 12; ++n) {
    kvr::sim::Level level;
    level.floorMinX = level.floorMinY = -500;
    level.floorMaxX = level.floorMaxY = 500;
    level.floorZ = pos(rng) * 0.1f;
    for (int i = 0; i < 12; ++i) {
      const float x = pos(rng), y = pos(rng), z = level.floorZ + (i % 4 == 0 ? size(rng) : 0);
      level.boxes.push_back({{x, y, z}, {x + size(rng), y + size(rng), z + height(rng)}});
      level.walls.push_back(
          {pos(rng), pos(rng), pos(rng), pos(rng), size(rng) * 0.1f + 1, height(rng)});
    }
    kvr::sim::NavMesh mesh;
    std::string error;
    if (!kvr::sim::BuildNavMesh(level, {}, mesh, error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    ++built;
    DetourNav nav(mesh);
    kvr::aps::Route route;
    Vec3 p;
    for (int q = 0; q < 20; ++q) {
      const Vec3 a{pos(rng), pos(rng), level.floorZ}, b{pos(rng), pos(rng), level.floorZ};
      if (nav.ProjectPoint(a, p)) {
        EXPECT_LE(std::fabs(p.x - a.x), 50.0f);
        EXPECT_LE(std::fabs(p.z - a.z), 250.0f);
      }
      if (nav.FindPath(a, b, route)) {
        EXPECT_FALSE(route.empty());
      }
      nav.HasLineOfSight(a, b);
    }
    std::string bytes = kvr::sim::NavMeshToBytes(mesh);
    kvr::sim::NavMesh back;
    EXPECT_TRUE(kvr::sim::NavMeshFromBytes(bytes, back, error)) << error;
  }
  EXPECT_GT(built, 6);
}

}  // namespace
