// The arc builder's navigation on the simulated engine's own functions: projection and line
// tests by reflection through the navigation system, legs through the navmesh's saved FindPath
// with a byte copy of the query, and the release of every path the engine handed out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "nav/engine_nav.h"
#include "nav_fixture.h"
#include "sim/game_objects.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/route_preview.h"
#include "sim/path_finding.h"

namespace kvr {
namespace {

using aps::Route;
using aps::Vec3;

// Engine FindPath stand-ins around the simulated engine's own, changing what it answers.
sim::PathQuery g_seenQuery;
int g_engineCalls = 0;
enum class EngineTwist { kNone, kHugeCount, kSecondHolder };
EngineTwist g_engineTwist = EngineTwist::kNone;
sim::PathReferenceController* g_heldController = nullptr;

sim::PathResult* TwistedFindPath(sim::PathResult* result, const sim::AgentProperties* agent,
                                 const sim::PathQuery* query) {
  ++g_engineCalls;
  std::memcpy(static_cast<void*>(&g_seenQuery), query, sizeof g_seenQuery);
  sim::EngineFindPath(result, agent, query);
  if (result->path && g_engineTwist == EngineTwist::kHugeCount) result->path->count = 100000;
  if (result->controller && g_engineTwist == EngineTwist::kSecondHolder) {
    ++result->controller->sharedCount;  // somebody else keeps the path too
    g_heldController = result->controller;
  }
  return result;
}

class EngineNavTest : public ::testing::Test {
 protected:
  EngineNavTest() : game_(sim::RegisterGameClasses(world_)), level_(test::Arena().mesh) {
    host::SetHost(&world_);
    world_.SetNavigation(&level_);
    navmesh_ = sim::SpawnEngineNavMesh(world_, game_, L"RecastNavMesh-Default");
    thug_ = sim::SpawnThug(world_, game_, *game_.baseAIController, *game_.thug, L"Thug", {});
    host::UObject* system = game_.navigationSystemDefault;
    host::BuildParamLayout(project_, system, L"K2_ProjectPointToNavigation",
                           {L"WorldContextObject", L"Point", L"ProjectedLocation", L"NavData",
                            L"FilterClass", L"QueryExtent", L"ReturnValue"});
    host::BuildParamLayout(raycast_, system, L"NavigationRaycast",
                           {L"WorldContextObject", L"RayStart", L"RayEnd", L"HitLocation",
                            L"FilterClass", L"Querier", L"ReturnValue"});
    query_ = sim::MakePathQuery(world_, thug_.controller, navmesh_, {-2000, 0, 0}, {2000, 0, 0});
    g_engineTwist = EngineTwist::kNone;
    g_engineCalls = 0;
  }
  ~EngineNavTest() override { host::SetHost(nullptr); }

  game::EngineNavContext Context() {
    game::EngineNavContext c;
    c.query = &query_;
    c.agent = &agent_;
    c.worldContext = thug_.pawn;
    c.querier = thug_.controller;
    c.navData = navmesh_;
    c.engineFindPath = reinterpret_cast<game::FindPathFn>(&TwistedFindPath);
    c.navigationSystem = game_.navigationSystemDefault;
    c.projectLayout = &project_;
    c.raycastLayout = &raycast_;
    return c;
  }
  template <typename F>
  void With(const game::EngineNavContext& c, F&& use) {
    game::WithEngineNav(c, use);
  }

  sim::World world_;
  sim::GameClasses game_;
  sim::DetourNav level_;
  host::UObject* navmesh_ = nullptr;
  sim::ThugObjects thug_;
  host::ParamLayout project_, raycast_;
  sim::PathQuery query_;
  sim::AgentProperties agent_;
};

TEST_F(EngineNavTest, ArcRoutesMatchTheLevelNavigationPointForPoint) {
  const struct {
    Vec3 from, to;
  } trips[] = {{{-2000, -1000, 0}, {2000, 500, 0}},
               {{2600, -2600, 0}, {-400, 400, 0}},
               {{500, 2700, 0}, {300, -1200, 0}}};
  for (int style = 1; style < aps::kStyleCount; ++style) {
    for (const auto& trip : trips) {
      const aps::ArcParams params = sim::StyleArcParams(style);
      Route direct, engine;
      aps::ArcStats directStats, engineStats;
      const bool ok = aps::BuildArcRoute(level_, trip.from, trip.to, params, direct, directStats);
      bool engineOk = false;
      With(Context(), [&](aps::INav& nav) {
        engineOk = aps::BuildArcRoute(nav, trip.from, trip.to, params, engine, engineStats);
      });
      ASSERT_EQ(engineOk, ok) << "style " << style;
      ASSERT_EQ(engine.size(), direct.size()) << "style " << style;
      for (size_t i = 0; i < engine.size(); ++i) {
        EXPECT_EQ(engine[i].location.x, direct[i].location.x);
        EXPECT_EQ(engine[i].location.y, direct[i].location.y);
        EXPECT_EQ(engine[i].nodeRef, direct[i].nodeRef);
      }
      EXPECT_EQ(engineStats.Queries(), directStats.Queries());
    }
  }
  // Every leg's path object and controller went back to the engine.
  EXPECT_GT(g_engineCalls, 0);
  EXPECT_EQ(world_.LiveAllocations(), 0);
  EXPECT_EQ(world_.BadFrees(), 0);
}

// A re-plan's query names the path the thug follows as the one to fill; a leg asked with a copy
// of that query must get a path of its own and leave the followed one as it was.
TEST_F(EngineNavTest, ALegNeverFillsThePathTheQueryAsksToRefill) {
  sim::PathResult followed;
  sim::EngineFindPath(&followed, &agent_, &query_);
  ASSERT_EQ(followed.result, sim::kPathSuccess);
  query_.pathToFill = followed.path;
  query_.pathToFillController = followed.controller;
  const sim::NavPath before = *followed.path;
  const std::vector<aps::NavPoint> points(followed.path->points,
                                          followed.path->points + followed.path->capacity);
  Route leg;
  With(Context(), [&](aps::INav& nav) {
    EXPECT_TRUE(nav.FindPath({-1000, -500, 0}, {1000, 700, 0}, leg));
  });
  ASSERT_GE(leg.size(), 2u);
  EXPECT_EQ(g_seenQuery.pathToFill, nullptr);
  EXPECT_EQ(g_seenQuery.pathToFillController, nullptr);
  EXPECT_EQ(std::memcmp(&before, followed.path, sizeof before), 0)
      << "the followed path's array, count, capacity or flags changed";
  EXPECT_EQ(std::memcmp(points.data(), followed.path->points, points.size() * sizeof points[0]), 0)
      << "the followed path's points changed";
  EXPECT_EQ(followed.controller->sharedCount, 1);
  EXPECT_EQ(query_.pathToFill, followed.path) << "the engine's own query is untouched";
  sim::ReleasePathReference(followed.controller);
  EXPECT_EQ(world_.LiveAllocations(), 0);
}

TEST_F(EngineNavTest, LegsRunOnAByteCopyOfTheQueryAndEveryPathIsReleased) {
  std::memset(query_.engineData0, 0x5A, sizeof query_.engineData0);
  query_.engineData1[7] = 0x77;
  const sim::PathQuery original = query_;
  Route points;
  With(Context(), [&](aps::INav& nav) {
    EXPECT_TRUE(nav.FindPath({-1000, -500, 0}, {1000, 700, 0}, points));
  });
  ASSERT_GE(points.size(), 2u);
  EXPECT_NEAR(points.back().location.x, 1000, 1);
  EXPECT_EQ(g_seenQuery.start.x, -1000.0f);
  EXPECT_EQ(g_seenQuery.end.y, 700.0f);
  EXPECT_EQ(g_seenQuery.ownerIndex, original.ownerIndex);
  EXPECT_EQ(g_seenQuery.navDataId, original.navDataId);
  EXPECT_EQ(std::memcmp(g_seenQuery.engineData0, original.engineData0, sizeof original.engineData0),
            0);
  EXPECT_EQ(g_seenQuery.engineData1[7], 0x77);
  EXPECT_EQ(std::memcmp(&query_, &original, sizeof query_), 0) << "the engine's query is untouched";
  EXPECT_EQ(world_.LiveAllocations(), 0);

  // Into the closed room: the engine answers with a partial path, which is no leg.
  With(Context(), [&](aps::INav& nav) {
    EXPECT_FALSE(nav.FindPath({0, 0, 0}, {2000, 2000, 0}, points));
  });
  EXPECT_EQ(world_.LiveAllocations(), 0);

  g_engineTwist = EngineTwist::kHugeCount;
  With(Context(), [&](aps::INav& nav) {
    EXPECT_FALSE(nav.FindPath({-1000, 0, 0}, {1000, 0, 0}, points));
  });
  EXPECT_EQ(world_.LiveAllocations(), 0);

  // With a second holder only one reference is dropped: the path lives on until that holder
  // lets go, and then everything goes, once.
  g_engineTwist = EngineTwist::kSecondHolder;
  With(Context(), [&](aps::INav& nav) {
    EXPECT_TRUE(nav.FindPath({-1000, 0, 0}, {1000, 0, 0}, points));
  });
  ASSERT_NE(g_heldController, nullptr);
  EXPECT_EQ(g_heldController->sharedCount, 1);
  EXPECT_EQ(world_.LiveAllocations(), 3);
  sim::ReleasePathReference(g_heldController);
  EXPECT_EQ(world_.LiveAllocations(), 0);
  EXPECT_EQ(world_.BadFrees(), 0);

  game::EngineNavContext none = Context();
  none.engineFindPath = nullptr;
  With(none, [&](aps::INav& nav) { EXPECT_FALSE(nav.FindPath({0, 0, 0}, {100, 0, 0}, points)); });
}

TEST_F(EngineNavTest, ProjectionUsesTheNavmeshAndItsQueryExtent) {
  Vec3 out;
  game::EngineNavContext c = Context();
  With(c, [&](aps::INav& nav) {
    ASSERT_TRUE(nav.ProjectPoint({100, 200, 150}, out));  // 150 cm above the floor
    EXPECT_NEAR(out.z, 0.0f, 5.0f);
    EXPECT_NEAR(out.x, 100.0f, 1.0f);
    EXPECT_FALSE(nav.ProjectPoint({1200, 1200, 0}, out));  // inside a pillar
  });
  c.queryExtent = {50, 50, 100};
  With(c, [&](aps::INav& nav) { EXPECT_FALSE(nav.ProjectPoint({100, 200, 150}, out)); });
  c.queryExtent = {50, 50, 250};

  // A navmesh that is gone, or an object that is no navigation data, projects nothing.
  host::UObject* old = sim::SpawnEngineNavMesh(world_, game_, L"Old");
  world_.Destroy(old);
  c.navData = old;
  With(c, [&](aps::INav& nav) { EXPECT_FALSE(nav.ProjectPoint({100, 200, 0}, out)); });
  c.navData = thug_.pawn;
  With(c, [&](aps::INav& nav) { EXPECT_FALSE(nav.ProjectPoint({100, 200, 0}, out)); });

  // Before the navigation system is known, or without a valid layout: no projection.
  c = Context();
  c.navigationSystem = nullptr;
  With(c, [&](aps::INav& nav) { EXPECT_FALSE(nav.ProjectPoint({100, 200, 0}, out)); });
  c = Context();
  const host::ParamLayout invalid;
  c.projectLayout = &invalid;
  With(c, [&](aps::INav& nav) { EXPECT_FALSE(nav.ProjectPoint({100, 200, 0}, out)); });
}

// Answers "on the navmesh" with a location that is not a number the builder can use.
class InfiniteNav final : public aps::INav {
 public:
  bool ProjectPoint(const Vec3& p, Vec3& out) override {
    out = {std::numeric_limits<float>::infinity(), p.y, p.z};
    return true;
  }
  bool FindPath(const Vec3&, const Vec3&, Route&) override { return false; }
  bool HasLineOfSight(const Vec3&, const Vec3&) override { return true; }
};

TEST_F(EngineNavTest, AProjectionThatIsNotFiniteFails) {
  InfiniteNav infinite;
  world_.SetNavigation(&infinite);
  Vec3 out{1, 2, 3};
  With(Context(), [&](aps::INav& nav) { EXPECT_FALSE(nav.ProjectPoint({0, 0, 0}, out)); });
  EXPECT_EQ(out.x, 1.0f) << "nothing written on failure";
  world_.SetNavigation(&level_);
}

TEST_F(EngineNavTest, LineOfSightIsClearOnlyWhenTheEngineReportsNoHit) {
  game::EngineNavContext c = Context();
  With(c, [&](aps::INav& nav) {
    EXPECT_TRUE(nav.HasLineOfSight({0, -800, 0}, {0, 800, 0}));
    EXPECT_FALSE(nav.HasLineOfSight({1200, 900, 0}, {1200, 1500, 0}));  // pillar in between
  });
  c.navigationSystem = nullptr;  // not found yet: blocked, so no shortcut is ever taken
  With(c, [&](aps::INav& nav) { EXPECT_FALSE(nav.HasLineOfSight({0, -800, 0}, {0, 800, 0})); });
  c = Context();
  const host::ParamLayout invalid;
  c.raycastLayout = &invalid;
  With(c, [&](aps::INav& nav) { EXPECT_FALSE(nav.HasLineOfSight({0, -800, 0}, {0, 800, 0})); });
}

}  // namespace
}  // namespace kvr
