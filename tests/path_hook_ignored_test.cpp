// Paths the hook must hand back exactly as the engine made them, with nothing decided, learnt or
// ended: a boss while bosses are left alone, a controller whose pawn is no longer the recorded
// one, a one-point path and a path whose capacity is below its count.
#include <gtest/gtest.h>

#include "path_hook_fixture.h"

namespace kvr {
namespace {

using aps::ReshapeOutcome;
using test::g_twist;
using test::kFrom;
using test::kTo;
using test::Twist;

class PathHookIgnored : public test::PathHookFixture {
 protected:
  struct Counts {
    uint64_t hookCalls, requests, decisions, episodes;
    int32_t style;
  };
  Counts Now(const sim::ThugObjects& t) {
    return {rt_->game.pathHook.hookCalls, Outcome(ReshapeOutcome::kThugRequest),
            rt_->game.styleDecisions, rt_->brain.totalEpisodes, Record(t).currentStyle};
  }
  // One re-plan of `t`'s held path; its record must come back as the engine handed it out.
  void ExpectUntouched(const sim::ThugObjects& t, bool countedAsRequest) {
    const Counts before = Now(t);
    const bool episodeOpen = Record(t).episodeActive;
    const bool reshaped = Record(t).routeReshaped;
    test::g_capture = true;
    RePlan(t, kFrom[1], kTo[1]);
    ExpectHeldAsTheEngineLeftIt();
    const Counts after = Now(t);
    EXPECT_EQ(after.hookCalls, before.hookCalls + 1) << "the hook saw the query";
    EXPECT_EQ(after.requests, before.requests + (countedAsRequest ? 1 : 0));
    EXPECT_EQ(after.decisions, before.decisions) << "a style was decided";
    EXPECT_EQ(after.episodes, before.episodes) << "an episode was ended";
    EXPECT_EQ(after.style, before.style);
    EXPECT_EQ(Record(t).episodeActive, episodeOpen);
    EXPECT_EQ(Record(t).routeReshaped, reshaped) << "the overlay's route was rewritten";
  }
};

TEST_F(PathHookIgnored, AnExcludedBossAndAControllerDrivingAnotherPawn) {
  Settings s = Rules();
  s.AffectBosses = 0;
  StartWith(s);
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  const sim::ThugObjects boss =
      Thug(L"Boss", {0, 0, 0}, classes_.bossAIController, classes_.bossThug);
  Discover();
  ASSERT_TRUE(Record(boss).excluded);
  ExpectUntouched(boss, false);

  // The controller already drives a new pawn the update has not seen yet.
  const sim::ThugObjects other = Thug(L"Other", {300, 0, 0});
  ASSERT_TRUE(RePlan(thug, kFrom[0], kTo[0]));  // a held path, reshaped as usual
  host::UObject** pawn = world_.Field<host::UObject*>(thug.controller, L"Pawn");
  // Swapped and put back inside the frame of the query, before the update could notice.
  bool ran = false;
  const int hook = world_.AddFrameHook([&](sim::World& w, double) {
    if (ran) return;
    ran = true;
    *pawn = other.pawn;
    test::g_capture = true;
    sim::RunRePlanQuery(w, navmesh_,
                        sim::MakePathQuery(w, thug.controller, navmesh_, kFrom[1], kTo[1]), held_,
                        heldRoute_);
    *pawn = thug.pawn;
  });
  const Counts before = Now(thug);
  Tick(1);
  world_.RemoveFrameHook(hook);
  ExpectHeldAsTheEngineLeftIt();
  const Counts after = Now(thug);
  EXPECT_EQ(after.hookCalls, before.hookCalls + 1);
  EXPECT_EQ(after.requests, before.requests) << "not a request of the recorded thug";
  EXPECT_EQ(after.decisions, before.decisions);
  EXPECT_EQ(after.episodes, before.episodes);
  EXPECT_EQ(after.style, before.style);
}

TEST_F(PathHookIgnored, AOnePointPathAndAPathWithCapacityBelowItsCount) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  g_twist = Twist::kOnePoint;
  ExpectUntouched(thug, true);
  EXPECT_EQ(heldRoute_.size(), 1u) << "the follower walks the engine's one point";
  g_twist = Twist::kCapacityBelowCount;
  ExpectUntouched(thug, true);
  g_twist = Twist::kNone;
  // Back to a sound array (the follower's object keeps its record): reshaped again.
  const uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
  sim::ReleaseHeldPath(held_);
  ASSERT_TRUE(RePlan(thug, kFrom[2], kTo[2]));
  EXPECT_EQ(Outcome(ReshapeOutcome::kReshaped), reshaped + 1);
}

}  // namespace
}  // namespace kvr
