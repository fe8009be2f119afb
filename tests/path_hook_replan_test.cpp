// A re-plan of a path a thug follows: the engine's query names the thug's own path object as
// the instance to fill. Whatever the arc build does, that object must end as the engine left it
// or hold the reshaped route, never a leg of the build.
#include <gtest/gtest.h>

#include "path_hook_fixture.h"

namespace kvr {
namespace {

using aps::ReshapeOutcome;
using test::kFrom;
using test::kTo;

class PathHookRePlan : public test::PathHookFixture {};

TEST_F(PathHookRePlan, AFailedBuildLeavesTheFollowedPathAsTheEngineFilledIt) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  ASSERT_TRUE(RePlan(thug, kFrom[0], kTo[0]));
  ASSERT_TRUE(Record(thug).routeReshaped) << "the first plan of this path object is reshaped";

  // Every reshaped route is longer than the engine's array and cannot grow: the build runs its
  // legs, then fails to write back. A fresh path object first, whose array the engine's route
  // fills exactly, then the re-plan that refills it.
  world_.SetPathPointSlack(0);
  world_.SetEngineAllocatorEnabled(false);
  sim::ReleaseHeldPath(held_);
  ASSERT_TRUE(RePlan(thug, kFrom[1], kTo[1]));
  const sim::NavPath* followed = held_.path;
  const uint64_t failed = Outcome(ReshapeOutcome::kNoValidArc);
  const double queries = rt_->game.pathHook.totalNavQueries;
  test::g_capture = true;
  ASSERT_TRUE(RePlan(thug, kFrom[1], kTo[1]));
  EXPECT_EQ(Outcome(ReshapeOutcome::kNoValidArc), failed + 1);
  EXPECT_GT(rt_->game.pathHook.totalNavQueries, queries) << "the build ran its legs";
  ASSERT_EQ(held_.path, followed) << "refilled in place, as the engine does";
  ExpectHeldAsTheEngineLeftIt();
  EXPECT_TRUE(SameRoute(heldRoute_, EngineRoute(kFrom[1], kTo[1])));
  EXPECT_FALSE(Record(thug).routeReshaped);

  // With room again the same followed object takes the reshaped route.
  world_.SetEngineAllocatorEnabled(true);
  ASSERT_TRUE(RePlan(thug, kFrom[2], kTo[2]));
  EXPECT_EQ(held_.path, followed);
  EXPECT_TRUE(Record(thug).routeReshaped);
  EXPECT_TRUE(SameRoute(heldRoute_, Record(thug).routePoints));
  sim::ReleaseHeldPath(held_);
  ExpectEngineMemoryClean();
}

}  // namespace
}  // namespace kvr
