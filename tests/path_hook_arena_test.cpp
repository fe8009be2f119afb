// The mod in the living arena: thugs that hunt the player plan through the hooked navmesh
// slot, most of their longer plans come back reshaped, and what they walk is the route the
// mod stored for them.
#include <gtest/gtest.h>

#include <memory>

#include "aps/reshape_outcome.h"
#include "game_fixture.h"
#include "nav_fixture.h"
#include "platform/steady_clock.h"
#include "sim/arena/arena.h"
#include "sim/arena/rules.h"

namespace kvr {
namespace {

using aps::ReshapeOutcome;

class ArenaWithMod : public test::GameFixture {
 protected:
  std::unique_ptr<sim::Arena> MakeArena(int thugs) {
    sim::ArenaSetup setup;
    setup.level = &test::Arena().level;
    setup.mesh = &test::Arena().mesh;
    setup.thugs = thugs;
    setup.seed = 5;
    std::string error;
    EXPECT_TRUE(
        sim::LoadArenaRules(sim::RulesPathForLevel(sim::LevelPath("arena")), setup.rules, error))
        << error;
    std::unique_ptr<sim::Arena> arena = sim::Arena::Create(world_, classes_, setup, error);
    EXPECT_NE(arena, nullptr) << error;
    return arena;
  }
  uint64_t Outcome(ReshapeOutcome o) const {
    return rt_->game.pathHook.outcomes[static_cast<size_t>(o)];
  }
};

TEST_F(ArenaWithMod, MostArcPlansAreReshapedAndTheThugsWalkThem) {
  Start();
  std::unique_ptr<sim::Arena> arena = MakeArena(12);
  ASSERT_NE(arena, nullptr);
  // After each frame's thugs have moved and planned: a thug whose plan the mod reshaped in
  // this frame must be walking exactly the route the mod stored for it.
  int checked = 0, mismatched = 0;
  double frameStart = platform::SteadySeconds();
  const int hook = world_.AddFrameHook([&](sim::World&, double) {
    std::lock_guard<std::mutex> lock(rt_->stateLock);
    for (const sim::ArenaThug& t : arena->Thugs()) {
      const auto it = rt_->game.thugs.find(t.controller);
      if (it == rt_->game.thugs.end() || !it->second.routeReshaped ||
          it->second.routeTime < frameStart || t.route.empty())
        continue;
      ++checked;
      const std::vector<aps::Vec3>& stored = it->second.routePoints;
      bool same = t.route.size() == stored.size();
      for (size_t i = 0; same && i < stored.size(); ++i)
        same = t.route[i].x == stored[i].x && t.route[i].y == stored[i].y;
      mismatched += !same;
    }
    frameStart = platform::SteadySeconds();
  });
  arena->Run(90.0);
  world_.RemoveFrameHook(hook);
  EXPECT_GT(checked, 50);
  EXPECT_EQ(mismatched, 0);

  const game::PathHookState& h = rt_->game.pathHook;
  EXPECT_TRUE(h.reshapingEnabled);
  EXPECT_EQ(h.faultsCaught, 0u);
  const uint64_t requests = Outcome(ReshapeOutcome::kThugRequest);
  // Plans long enough for an arc whose thug was given an arc style (the fresh brain picks
  // "Direct" for some), less the two the self-test held back.
  const uint64_t arcPlans = requests - Outcome(ReshapeOutcome::kPartial) -
                            Outcome(ReshapeOutcome::kTooShort) - Outcome(ReshapeOutcome::kDirect) -
                            2;
  const uint64_t reshaped = Outcome(ReshapeOutcome::kReshaped);
  // Thugs plan again only when their slot moved far for their distance, and attackers close
  // in on a player they see without a route: a minute and a half of 12 thugs still makes many.
  EXPECT_GT(requests, 90u);
  EXPECT_GT(reshaped * 2, arcPlans)
      << "reshaped " << reshaped << " of " << arcPlans << "; budget "
      << Outcome(ReshapeOutcome::kBudget) << ", no arc " << Outcome(ReshapeOutcome::kNoValidArc);
  arena.reset();
  EXPECT_EQ(world_.BadFrees(), 0);
}

}  // namespace
}  // namespace kvr
