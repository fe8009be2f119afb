// The path hook as the game drives it: thugs of the simulated engine plan through the hooked
// navmesh slots on the game thread (and other threads plan beside them), on the arena's
// navmesh. What comes back is what the thug walks.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <regex>
#include <thread>

#include "aps/horizontal.h"
#include "aps/reshape_outcome.h"
#include "nav/navmesh_table.h"
#include "nav_fixture.h"
#include "path_hook_fixture.h"
#include "sim/nav/detour_nav.h"
#include "sim/path_finding.h"
#include "sim/path_workers.h"

namespace kvr {
namespace {

using aps::ReshapeOutcome;
using aps::Route;
using aps::Vec3;

using test::g_realPoints;
using test::g_twist;
using test::kFrom;
using test::kTo;
using test::Twist;
using test::TwistingFindPath;

class PathHook : public test::PathHookFixture {};

TEST_F(PathHook, ReshapedRoutesAreWhatTheThugsWalkAndNothingLeaks) {
  Settings s = Rules();
  s.VerboseLog = 1;
  StartWith(s);
  ASSERT_TRUE(rt_->game.navmeshes.at(navmesh_).hooked);
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  EXPECT_EQ(Count("path memory layout self-test PASSED on 3 live paths (start point matches the "
                  "query) - reshaping enabled"),
            1);
  for (int i = 0; i < 4; ++i) {
    world_.SetPathPointSlack(i % 2 ? 0 : 16);  // grown once, in place once
    const uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
    const Plan p = Once(thug, kFrom[i], kTo[i]);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 1) << "trip " << i;
    const game::TrackedThug& t = Record(thug);
    EXPECT_TRUE(t.routeReshaped);
    EXPECT_TRUE(SameRoute(p.route, t.routePoints)) << "the thug walks the stored route";
    EXPECT_FALSE(SameRoute(p.route, EngineRoute(kFrom[i], kTo[i])));
    EXPECT_LT(aps::HorizontalDistance(p.route.front().location, kFrom[i]), 1.0f);
    EXPECT_LT(aps::HorizontalDistance(p.route.back().location, kTo[i]), 1.0f);
    // Wide Left or Wide Right: the route bends to that side of the straight line.
    const Vec3 dir = aps::HorizontalUnit(aps::Sub(kTo[i], kFrom[i]));
    float most = 0;
    for (const aps::NavPoint& q : p.route) {
      const float left =
          aps::Sub(q.location, kFrom[i]).x * dir.y - aps::Sub(q.location, kFrom[i]).y * dir.x;
      if (std::fabs(left) > std::fabs(most)) most = left;
    }
    EXPECT_GT(most * aps::Style(t.currentStyle).strength, 0.0f) << "bends to its side";
  }
  const std::regex verbose(
      R"(\[KorvathNeuralNav\] reshaped BP_ThugBase_C: Wide (Left|Right), \d+ -> \d+ points, \d+ -> \d+ cm, \d+ queries, \d+ from memory, \d+\.\d\d ms\n)");
  int lines = 0;
  for (const std::string& line : Lines()) lines += std::regex_match(line, verbose);
  EXPECT_EQ(static_cast<uint64_t>(lines), Outcome(ReshapeOutcome::kReshaped));
  const game::PathHookState& h = rt_->game.pathHook;
  EXPECT_GT(h.totalBuildMs, 0.0) << "the builder's navigation costs simulated time";
  EXPECT_GE(h.largestBuildMs * 5, h.totalBuildMs);
  EXPECT_GT(h.totalNavQueries, 0.0);
  EXPECT_GT(h.totalNavRepeats, 0.0) << "string pulling and thinning ask some lines twice";
  EXPECT_LT(h.totalNavRepeats, h.totalNavQueries);
  ExpectEngineMemoryClean();
}

TEST_F(PathHook, QueriesFromOtherThreadsComeBackAsTheEngineMadeThem) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  const uint64_t calls = rt_->game.pathHook.hookCalls;
  const uint64_t requests = Outcome(ReshapeOutcome::kThugRequest);
  const uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
  // Engine workers plan for the tracked thug itself while the game thread plans and reshapes.
  sim::PathWorkers workers(world_, navmesh_, {.threads = 2, .queriesPerFrame = 6});
  workers.SetOwners({world_.GetInternalIndex(thug.controller)});
  const int frames = 40;
  for (int i = 0; i < frames; ++i) Once(thug, kFrom[i % 4], kTo[i % 4]);
  workers.Stop();
  const sim::PathWorkerCounts counts = workers.Counts();
  EXPECT_GT(counts.queries, 0u);
  EXPECT_GT(counts.found, 0u);
  EXPECT_EQ(counts.differing, 0u) << "a worker's path was changed on its way back";
  EXPECT_EQ(rt_->game.pathHook.hookCalls, calls + frames)
      << "only the game thread's queries reach reshaping";
  EXPECT_EQ(Outcome(ReshapeOutcome::kThugRequest), requests + frames);
  EXPECT_GT(Outcome(ReshapeOutcome::kReshaped), reshaped);
  ExpectEngineMemoryClean();
}

TEST_F(PathHook, SelfTestEnablesAfterThreePassesAndDisablesAfterFiveFailuresWithoutOne) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  g_twist = Twist::kStartOff400;  // every path starts 400 cm from where the query started
  for (int i = 0; i < 4; ++i) Once(thug, kFrom[0], kTo[0]);
  EXPECT_EQ(rt_->game.pathHook.selfTestFailures, 4);
  EXPECT_FALSE(rt_->reshapingDisabled);
  EXPECT_EQ(Record(thug).currentStyle, -1) << "no decision while the test is pending";
  Once(thug, kFrom[0], kTo[0]);
  const std::string failed =
      "path memory layout self-test failed (5/5) - reshaping disabled, game paths untouched";
  EXPECT_TRUE(rt_->reshapingDisabled);
  EXPECT_EQ(rt_->pathSafetyStatus, failed);
  EXPECT_EQ(Count(failed), 1);

  // Final: good paths later change nothing, and come back exactly as the engine made them.
  g_twist = Twist::kNone;
  for (int i = 0; i < 4; ++i) {
    const Plan p = Once(thug, kFrom[i], kTo[i]);
    EXPECT_TRUE(SameRoute(p.route, EngineRoute(kFrom[i], kTo[i])));
  }
  EXPECT_EQ(rt_->game.pathHook.selfTestPasses, 0);
  EXPECT_FALSE(rt_->game.pathHook.reshapingEnabled);
  EXPECT_EQ(Outcome(ReshapeOutcome::kThugRequest), 5u) << "disabled: stops before the thug";
  EXPECT_EQ(Count(failed), 1);
  ExpectEngineMemoryClean();
}

TEST_F(PathHook, OnePassKeepsTheSelfTestPendingThroughAnyNumberOfFailures) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  Once(thug, kFrom[0], kTo[0]);
  g_twist = Twist::kStartOff400;
  for (int i = 0; i < 8; ++i) Once(thug, kFrom[1], kTo[1]);
  EXPECT_EQ(rt_->game.pathHook.selfTestFailures, 8);
  EXPECT_FALSE(rt_->reshapingDisabled);
  g_twist = Twist::kNone;
  Once(thug, kFrom[2], kTo[2]);
  EXPECT_FALSE(rt_->game.pathHook.reshapingEnabled);
  const uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
  Once(thug, kFrom[3], kTo[3]);  // the third pass is processed further at once
  EXPECT_TRUE(rt_->game.pathHook.reshapingEnabled);
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 1);
  // No further test once enabled: a bad path now is simply reshaped from where it starts.
  g_twist = Twist::kStartOff400;
  Once(thug, kFrom[0], kTo[0]);
  EXPECT_EQ(rt_->game.pathHook.selfTestFailures, 8);
}

TEST_F(PathHook, PartialAndShortPathsKeepTheEngineRoute) {
  Settings s = Rules();
  s.MinArcDistance = 300;
  StartWith(s);
  const sim::ThugObjects thug = AddThug(L"Thug");
  // Partial paths are counted before the self-test and before any decision.
  Plan p = Once(thug, {0, 0, 0}, {2000, 2000, 0});  // into the closed room
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(Outcome(ReshapeOutcome::kPartial), 1u);
  EXPECT_EQ(Outcome(ReshapeOutcome::kThugRequest), 1u);
  EXPECT_EQ(rt_->game.pathHook.selfTestPasses, 0);
  EXPECT_EQ(Record(thug).currentStyle, -1);
  EXPECT_EQ(Record(thug).routeTime, -100.0) << "no route stored for the overlay";

  PassSelfTest(thug);
  p = Once(thug, {0, 0, 0}, {2000, 2000, 0});
  EXPECT_EQ(Outcome(ReshapeOutcome::kPartial), 2u);

  // 250 cm: the style is decided and the engine route stored, then it is too short.
  const double decided = Record(thug).decisionTime;
  p = Once(thug, {100, 100, 0}, {350, 100, 0});
  const game::TrackedThug& t = Record(thug);
  EXPECT_EQ(Outcome(ReshapeOutcome::kTooShort), 1u);
  EXPECT_GT(t.decisionTime, decided);
  EXPECT_EQ(t.currentStyle, aps::kArcLeft + (t.controllerIndex % 2 == 0 ? 0 : 1));
  EXPECT_EQ(t.routeStyle, t.currentStyle);
  EXPECT_FALSE(t.routeReshaped);
  EXPECT_TRUE(SameRoute(p.route, t.routePoints));
  EXPECT_TRUE(SameRoute(p.route, EngineRoute({100, 100, 0}, {350, 100, 0})));
  EXPECT_NEAR(t.lastGoal.x, 350.0f, 1.0f);
  ExpectEngineMemoryClean();
}

TEST_F(PathHook, TheFrameBudgetCapsBuildsByCountAndBySimulatedTime) {
  StartWith(Rules());
  const sim::ThugObjects a = AddThug(L"A"), b = AddThug(L"B"), c = AddThug(L"C");
  PassSelfTest(a);
  uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
  // MaxReshapesPerFrame 2: the third request in the same frame keeps its engine route.
  std::vector<Plan> done =
      InOneFrame({{a, kFrom[0], kTo[0]}, {b, kFrom[1], kTo[1]}, {c, kFrom[2], kTo[2]}});
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 2);
  EXPECT_EQ(Outcome(ReshapeOutcome::kBudget), 1u);
  EXPECT_TRUE(SameRoute(done[2].route, EngineRoute(kFrom[2], kTo[2])));
  Once(c, kFrom[2], kTo[2]);  // a new frame, a new budget
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 3);

  // By time: one build's navigation costs more than 0.5 ms of the frame.
  Settings s = Rules();
  s.MaxReshapesPerFrame = 16;
  s.FrameBudgetMs = 0.5;
  Publish(s);
  Tick(1);
  reshaped = Outcome(ReshapeOutcome::kReshaped);
  done = InOneFrame({{a, kFrom[3], kTo[3]}, {b, kFrom[0], kTo[0]}, {c, kFrom[1], kTo[1]}});
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 1);
  EXPECT_EQ(Outcome(ReshapeOutcome::kBudget), 3u);
  ExpectEngineMemoryClean();
}

TEST_F(PathHook, ARePlanSoonAfterWithANearbyGoalKeepsItsStyle) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  Once(thug, kFrom[0], kTo[0]);
  const double decided = Record(thug).decisionTime;
  const int32_t style = Record(thug).currentStyle;
  Tick(9);  // 1.0 s after the decision in all
  Once(thug, kFrom[0], {kTo[0].x + 150, kTo[0].y, 0});
  EXPECT_EQ(Outcome(ReshapeOutcome::kStickyReplan), 1u);
  EXPECT_EQ(Record(thug).decisionTime, decided) << "no new decision";
  EXPECT_EQ(Record(thug).currentStyle, style);
  EXPECT_NEAR(Record(thug).lastGoal.x, kTo[0].x + 150, 1.0f);
  Tick(20);  // 3 s after the decision: decided afresh even for the same goal
  Once(thug, kFrom[0], {kTo[0].x + 150, kTo[0].y, 0});
  EXPECT_EQ(Outcome(ReshapeOutcome::kStickyReplan), 1u);
  EXPECT_GT(Record(thug).decisionTime, decided);
}

TEST_F(PathHook, AnArrayTooSmallGrowsOnlyThroughTheEngineAllocator) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  world_.SetPathPointSlack(0);  // every engine array exactly full
  world_.SetEngineAllocatorEnabled(false);
  uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
  Plan p = Once(thug, kFrom[1], kTo[1]);
  EXPECT_EQ(Outcome(ReshapeOutcome::kNoValidArc), 1u);
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped);
  EXPECT_TRUE(SameRoute(p.route, EngineRoute(kFrom[1], kTo[1])));
  EXPECT_FALSE(Record(thug).routeReshaped);

  world_.SetPathPointSlack(64);  // room to spare: in place, no allocator needed
  p = Once(thug, kFrom[1], kTo[1]);
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 1);
  EXPECT_TRUE(SameRoute(p.route, Record(thug).routePoints));

  world_.SetEngineAllocatorEnabled(true);
  world_.SetPathPointSlack(0);
  p = Once(thug, kFrom[2], kTo[2]);
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 2);
  EXPECT_GT(p.route.size(), EngineRoute(kFrom[2], kTo[2]).size());
  EXPECT_TRUE(SameRoute(p.route, Record(thug).routePoints));
  ExpectEngineMemoryClean();
}

TEST_F(PathHook, AQueryOnNavigationDataOfNoHookedNavmeshIsLeftAlone) {
  StartWith(Rules());
  // A second navmesh the installer refuses: its record exists but is not hooked.
  void* slots[sim::kNavSlotCount];
  sim::EngineNavSlots(slots);
  slots[3] = slots[2];  // TestPath and TestHierarchical the same
  host::UObject* refused = sim::SpawnNavMesh(world_, classes_, L"Refused", slots, {50, 50, 250});
  const sim::ThugObjects thug = AddThug(L"Thug");
  ASSERT_FALSE(rt_->game.navmeshes.at(refused).hooked);
  PassSelfTest(thug);
  uint64_t before[aps::kReshapeOutcomeCount];
  for (int o = 0; o < aps::kReshapeOutcomeCount; ++o)
    before[o] = Outcome(static_cast<ReshapeOutcome>(o));
  // Run in a frame by hand: through the hooked navmesh's slot, on the refused navmesh's id.
  Plan p{thug, kFrom[0], kTo[0]};
  bool ran = false;
  world_.AddFrameHook([&](sim::World& w, double) {
    if (!ran) Run(w, p, refused);
    ran = true;
  });
  Tick(1);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(Outcome(ReshapeOutcome::kThugRequest), before[0] + 1);
  for (int o = 1; o < aps::kReshapeOutcomeCount; ++o) {
    if (o == static_cast<int>(ReshapeOutcome::kStickyReplan)) continue;  // counted besides
    EXPECT_EQ(Outcome(static_cast<ReshapeOutcome>(o)), before[o]) << "outcome " << o;
  }
  EXPECT_TRUE(SameRoute(p.route, EngineRoute(kFrom[0], kTo[0])));
}

TEST_F(PathHook, AFaultInsideReshapingDisablesItAndTheGameGoesOnWithEngineRoutes) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  // The engine hands out a path whose point array pointer is garbage. The engine's own path
  // following is played by hand here, so that only the mod meets the garbage.
  g_twist = Twist::kCorruptPoints;
  bool ran = false;
  world_.AddFrameHook([&](sim::World& w, double) {
    if (ran) return;
    ran = true;
    const sim::PathQuery q = sim::MakePathQuery(w, thug.controller, navmesh_, kFrom[0], kTo[0]);
    sim::AgentProperties agent;
    sim::PathResult result;
    auto slot = reinterpret_cast<sim::FindPathFunction>(sim::NavSlot(navmesh_, 0));
    EXPECT_EQ(slot(&result, &agent, &q), &result);
    EXPECT_EQ(result.result, sim::kPathSuccess) << "the engine's answer comes back as it was";
    result.path->points = g_realPoints;
    sim::ReleasePathReference(result.controller);
  });
  Tick(1);
  g_twist = Twist::kNone;
  ASSERT_TRUE(ran);
  const std::string message =
      "a fault was caught inside path reshaping - reshaping disabled for this session (game "
      "unaffected)";
  EXPECT_EQ(rt_->game.pathHook.faultsCaught, 1u);
  EXPECT_EQ(rt_->totalFaults, 1u);
  EXPECT_TRUE(rt_->reshapingDisabled);
  EXPECT_EQ(rt_->pathSafetyStatus, message);
  EXPECT_EQ(Count(message), 1);

  // The game goes on: the hook still answers, with the engine's routes, and the update runs.
  const uint64_t updates = rt_->game.updatesRun;
  const uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
  for (int i = 0; i < 4; ++i) {
    const Plan p = Once(thug, kFrom[i], kTo[i]);
    EXPECT_TRUE(p.ok);
    EXPECT_TRUE(SameRoute(p.route, EngineRoute(kFrom[i], kTo[i])));
  }
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped);
  EXPECT_GT(rt_->game.updatesRun, updates);
  EXPECT_EQ(rt_->totalFaults, 1u);
  ExpectEngineMemoryClean();
}

TEST_F(PathHook, MasterSwitchOffRestoresTheSlotsAndOnHooksThemAgain) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  const uintptr_t hook = reinterpret_cast<uintptr_t>(&game::FindPathHook);
  const uintptr_t engine = reinterpret_cast<uintptr_t>(&TwistingFindPath);
  ASSERT_EQ(reinterpret_cast<uintptr_t>(sim::NavSlot(navmesh_, 0)), hook);
  Settings s = Rules();
  s.Enabled = 0;
  Publish(s);
  Discover();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(sim::NavSlot(navmesh_, 0)), engine);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(sim::NavSlot(navmesh_, 1)), engine);
  const uint64_t calls = rt_->game.pathHook.hookCalls;
  Plan p = Once(thug, kFrom[0], kTo[0]);
  EXPECT_EQ(rt_->game.pathHook.hookCalls, calls) << "the engine answers alone";
  EXPECT_TRUE(SameRoute(p.route, EngineRoute(kFrom[0], kTo[0])));

  s.Enabled = 1;
  Publish(s);
  Discover();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(sim::NavSlot(navmesh_, 0)), hook);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(sim::NavSlot(navmesh_, 1)), hook);
  EXPECT_TRUE(rt_->game.navmeshes.at(navmesh_).hooked);
  int refusals = 0;
  for (const std::string& line : Lines())
    refusals += line.find("left untouched") != std::string::npos;
  EXPECT_EQ(refusals, 0);
  const uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
  Once(thug, kFrom[1], kTo[1]);
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 1);
  ExpectEngineMemoryClean();
}

// Engine code the update calls into (here: whatever runs when avoidance is switched on) may plan
// a path on the game thread; the hook must hand it the engine's route instead of waiting for the
// state lock the update itself holds.
TEST_F(PathHook, APathQueryFromInsideTheUpdateGetsTheEngineRoute) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  Plan nested{thug, kFrom[0], kTo[0]};
  int nestedQueries = 0;
  world_.RegisterProcessEventPreCallback([&](host::UObject*, host::UFunction* f, void*) {
    if (world_.GetName(host::AsObject(f)) != L"SetAvoidanceEnabled") return;
    ++nestedQueries;
    Run(world_, nested);
  });
  const uint64_t calls = rt_->game.pathHook.hookCalls;
  AddThug(L"Second");  // its avoidance goes on inside the update
  ASSERT_GT(nestedQueries, 0);
  EXPECT_TRUE(nested.ok);
  EXPECT_TRUE(SameRoute(nested.route, EngineRoute(kFrom[0], kTo[0])));
  EXPECT_EQ(rt_->game.pathHook.hookCalls, calls);
  ExpectEngineMemoryClean();
}

}  // namespace
}  // namespace kvr
