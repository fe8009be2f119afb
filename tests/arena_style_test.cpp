// Whether the choice of approach style matters in the living arena. The mod is loaded and every
// thug's style is fixed through the mod's own decision: each genome's network answers one style
// whatever it sees, and nothing explores, mutates, evolves or keeps a sticky style. The same
// staged approaches are then played under each style on the shipped rules (only the player's
// walking, the tokens and the churn are switched off, so that the approach alone is measured).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "aps/aps.h"
#include "arena_fixture.h"
#include "game_fixture.h"
#include "nav_fixture.h"
#include "sim/arena/arena.h"

namespace kvr {
namespace {

using aps::kArcLeft;
using aps::kArcRight;
using aps::kDirect;
using aps::kWeaveLeft;
using aps::kWeaveRight;
using aps::kWideLeft;
using aps::kWideRight;
constexpr aps::ApproachStyle kFlanks[] = {kArcLeft,   kArcRight,  kWideLeft,
                                          kWideRight, kWeaveLeft, kWeaveRight};

struct Approach {
  double damage = 0;   // fraction of the thug's health lost on the way
  double seconds = 0;  // until it stood at its slot (the time limit when it never did)
  bool arrived = false;
};

struct Tally {
  double damage = 0, seconds = 0;
  int runs = 0, arrived = 0;
  void Add(const Approach& a) {
    damage += a.damage;
    seconds += a.seconds;
    ++runs;
    arrived += a.arrived;
  }
  double Damage() const { return runs ? damage / runs : 0; }
  double Seconds() const { return runs ? seconds / runs : 0; }
};

class ArenaStyles : public test::GameFixture {
 protected:
  // No exploration, no evolution or mutation, no weight decay, a re-plan always decides anew.
  void StartFixed() {
    Settings s;
    s.StickySeconds = 0.0f;
    s.ExploreStart = 0.0f;
    s.ExploreMin = 0.0f;
    s.MutationRate = 0.0f;
    s.L2 = 0.0f;
    s.LearningRate = 0.0001f;
    s.EvolveEveryEpisodes = 100000;
    Start(s);
  }

  // The genome's network answers `style` whatever its inputs: the output layer ignores the
  // hidden layer and its biases saturate the chosen output (training cannot move it).
  void FixStyle(size_t genome, int style) {
    std::lock_guard<std::mutex> lock(rt_->stateLock);
    tactics::Network& n = rt_->brain.genomes.at(genome).network;
    const size_t outs = static_cast<size_t>(n.OutputCount());
    const size_t fanIn = static_cast<size_t>(n.layerSizes[n.layerSizes.size() - 2]);
    std::fill(n.weights.end() - static_cast<long>(outs * fanIn), n.weights.end(), 0.0f);
    for (size_t j = 0; j < outs; ++j)
      n.biases[n.biases.size() - outs + j] = static_cast<int>(j) == style ? 12.0f : -12.0f;
    std::fill(n.weightVelocities.begin(), n.weightVelocities.end(), 0.0f);
    std::fill(n.biasVelocities.begin(), n.biasVelocities.end(), 0.0f);
  }
  void FixAll(int style) {
    for (size_t g = 0; g < rt_->brain.genomes.size(); ++g) FixStyle(g, style);
  }
  int GenomeOf(const sim::ArenaThug& thug) {
    std::lock_guard<std::mutex> lock(rt_->stateLock);
    const auto it = rt_->game.thugs.find(thug.controller);
    return it == rt_->game.thugs.end() ? -1 : it->second.genomeIndex;
  }

  static sim::ArenaRules StagedRules() {
    sim::ArenaRules r = test::ShippedRules();
    r.controllerChurnPerMinute = r.pawnSwapsPerMinute = 0;
    r.patrolSpeed = r.kiteSpeed = 0;
    r.tokenCount = 0;
    return r;
  }

  std::unique_ptr<sim::Arena> MakeArena(int thugs, uint64_t seed) {
    sim::ArenaSetup setup;
    setup.level = &test::Arena().level;
    setup.mesh = &test::Arena().mesh;
    setup.rules = StagedRules();
    setup.thugs = thugs;
    setup.seed = seed;
    std::string error;
    std::unique_ptr<sim::Arena> arena = sim::Arena::Create(world_, classes_, setup, error);
    EXPECT_NE(arena, nullptr) << error;
    return arena;
  }

  // Lets the mod find the thugs and hook the navmesh, and its path self-test pass, with the
  // player looking away from a thug that walks back and forth.
  void WarmUp(sim::Arena& arena) {
    for (int i = 0; i < 4; ++i) {
      arena.PlacePlayer({-900.0f, 700.0f, 0.0f}, 180.0f);
      for (size_t t = 0; t < arena.Thugs().size(); ++t)
        if (arena.Thugs()[t].phase == sim::ThugPhase::kAlive)
          arena.PlaceThug(t, {1400.0f, 700.0f + 60.0f * static_cast<float>(t), 0.0f});
      arena.Run(1.0);
    }
  }

  static void WaitAlive(sim::Arena& arena) {
    for (int i = 0; i < 40; ++i) {
      const auto& thugs = arena.Thugs();
      if (std::all_of(thugs.begin(), thugs.end(),
                      [](const sim::ArenaThug& t) { return t.phase == sim::ThugPhase::kAlive; }))
        return;
      arena.Run(0.5);
    }
  }

  // One thug from `from` to its slot on the ring around a player standing at `player`, facing
  // `yaw`; at most `limit` seconds.
  static Approach Play(sim::Arena& arena, const aps::Vec3& player, float yaw, const aps::Vec3& from,
                       double limit = 8.0) {
    WaitAlive(arena);
    arena.PlacePlayer(player, yaw);
    arena.PlaceThug(0, from);
    const sim::ArenaThug& thug = arena.Thugs()[0];
    const float health = thug.health;
    const sim::ArenaRules& r = arena.Rules();
    const aps::Vec3 slot{player.x + r.waitRadius, player.y, player.z};  // slot 0 of 1: bearing 0
    Approach out;
    const double start = arena.Now();
    while (arena.Now() - start < limit) {
      arena.Run(r.frameSeconds);
      if (thug.phase != sim::ThugPhase::kAlive) break;
      if (std::hypot(thug.position.x - slot.x, thug.position.y - slot.y) <= 100.0f) {
        out.arrived = true;
        break;
      }
    }
    out.seconds = arena.Now() - start;
    const float left = thug.phase == sim::ThugPhase::kAlive ? std::max(0.0f, thug.health) : 0.0f;
    out.damage = (health - left) / r.thugs[thug.kind].health;
    return out;
  }

  // The staged approaches: a player at nine places on an open stretch, the thug straight ahead
  // of it (yaw 0) or behind it (yaw 180), `trip` beyond its slot along the x axis.
  Tally PlayAll(sim::Arena& arena, int style, float yaw, float trip) {
    FixAll(style);
    Tally tally;
    const float beyond = arena.Rules().waitRadius + trip;
    for (const float y : {500.0f, 700.0f, 900.0f})
      for (const float shift : {0.0f, 150.0f, -150.0f}) {
        const aps::Vec3 player{-900.0f + shift, y, 0.0f};
        tally.Add(Play(arena, player, yaw, {player.x + beyond, y, 0.0f}));
      }
    return tally;
  }

  // The first `pack` thugs, whose slots neighbour each other on the ring, set out from one spot
  // towards a player who faces them, the others start behind the player: the share of frames in
  // which a pack thug had no other within `apart` (the mod's default SpacingDistance), and the
  // pack's mean health lost, over the first `seconds`.
  struct Pack {
    double spaced = 0;
    double damage = 0;
  };
  static Pack PlayPack(sim::Arena& arena, size_t pack, double seconds) {
    WaitAlive(arena);
    const aps::Vec3 player{-900.0f, 700.0f, 0.0f};
    arena.PlacePlayer(player, 0.0f);
    const float x = player.x + arena.Rules().waitRadius + 1700.0f;
    const auto& thugs = arena.Thugs();
    float health = 0;
    for (size_t i = 0; i < thugs.size(); ++i) {
      const float f = static_cast<float>(i);
      if (i < pack) {
        arena.PlaceThug(i, {x + 30.0f * static_cast<float>(i % 2), player.y + 40.0f * f, 0});
        health += thugs[i].health;
      } else {
        arena.PlaceThug(i, {player.x - 1500.0f, player.y - 400.0f + 60.0f * f, 0});
      }
    }
    constexpr float apart = 120.0f;
    int samples = 0, spaced = 0;
    const double start = arena.Now();
    while (arena.Now() - start < seconds) {
      arena.Run(arena.Rules().frameSeconds);
      for (size_t i = 0; i < pack; ++i) {
        if (thugs[i].phase != sim::ThugPhase::kAlive) continue;
        float nearest = 1e9f;
        for (size_t j = 0; j < pack; ++j)
          if (j != i && thugs[j].phase == sim::ThugPhase::kAlive)
            nearest = std::min(nearest, std::hypot(thugs[i].position.x - thugs[j].position.x,
                                                   thugs[i].position.y - thugs[j].position.y));
        ++samples;
        spaced += nearest >= apart;
      }
    }
    float left = 0;
    for (size_t i = 0; i < pack; ++i)
      left += thugs[i].phase == sim::ThugPhase::kAlive ? std::max(0.0f, thugs[i].health) : 0.0f;
    return {samples ? static_cast<double>(spaced) / samples : 0.0, (health - left) / pack};
  }
};

// A thug coming at a player that faces it: out of the line (and across it) it is hit less often
// than walking straight into the fire. One that comes from behind is not seen, so the straight
// line gets it there first at no cost; on a short trip the straight line is also first.
TEST_F(ArenaStyles, FlankingPaysInFrontTheStraightLinePaysBehindAndOnShortTrips) {
  StartFixed();
  std::unique_ptr<sim::Arena> arena = MakeArena(1, 3);
  ASSERT_NE(arena, nullptr);
  WarmUp(*arena);
  const Tally directFaced = PlayAll(*arena, kDirect, 0.0f, 1700.0f);
  const Tally directBehind = PlayAll(*arena, kDirect, 180.0f, 1700.0f);
  const Tally directShort = PlayAll(*arena, kDirect, 0.0f, 500.0f);
  EXPECT_GT(directFaced.Damage(), 0.5) << "walking into the fire costs a thug most of its health";
  EXPECT_EQ(directBehind.Damage(), 0.0);
  EXPECT_EQ(directBehind.arrived, directBehind.runs);
  Tally flankFaced;
  for (const aps::ApproachStyle style : kFlanks) {
    const Tally faced = PlayAll(*arena, style, 0.0f, 1700.0f);
    const Tally behind = PlayAll(*arena, style, 180.0f, 1700.0f);
    const Tally shortTrip = PlayAll(*arena, style, 0.0f, 500.0f);
    std::printf("style %d: faced %.3f %.2f s, behind %.3f %.2f s, short %.3f %.2f s\n", style,
                faced.Damage(), faced.Seconds(), behind.Damage(), behind.Seconds(),
                shortTrip.Damage(), shortTrip.Seconds());
    flankFaced.damage += faced.damage, flankFaced.runs += faced.runs;
    flankFaced.arrived += faced.arrived;
    EXPECT_LT(faced.Damage(), directFaced.Damage()) << "style " << style;
    EXPECT_GT(behind.Seconds(), directBehind.Seconds() + 0.25) << "style " << style;
    EXPECT_EQ(behind.Damage(), 0.0) << "style " << style;
    EXPECT_GT(shortTrip.Seconds(), directShort.Seconds()) << "style " << style;
  }
  std::printf("direct: faced %.3f %.2f s, behind %.3f %.2f s, short %.3f %.2f s\n",
              directFaced.Damage(), directFaced.Seconds(), directBehind.Damage(),
              directBehind.Seconds(), directShort.Damage(), directShort.Seconds());
  EXPECT_LT(flankFaced.Damage(), 0.75 * directFaced.Damage());
  EXPECT_GT(flankFaced.arrived, directFaced.arrived);
}

// A pack that sets out from one spot: thugs sent out to both sides stay apart where a pack
// that all walks the straight line stays bunched (and takes the splash of each other's hits).
TEST_F(ArenaStyles, SpreadingKeepsAPackApartWhereTheStraightLineKeepsItBunched) {
  StartFixed();
  std::unique_ptr<sim::Arena> arena = MakeArena(12, 4);
  ASSERT_NE(arena, nullptr);
  WarmUp(*arena);
  std::vector<int> genomes;
  for (size_t i = 0; i < 4; ++i) genomes.push_back(GenomeOf(arena->Thugs()[i]));
  std::vector<int> distinct = genomes;
  std::sort(distinct.begin(), distinct.end());
  ASSERT_TRUE(std::adjacent_find(distinct.begin(), distinct.end()) == distinct.end() &&
              distinct.front() >= 0)
      << "each thug has a genome of its own";
  FixAll(kDirect);
  Pack straight;
  for (int i = 0; i < 3; ++i) {
    const Pack p = PlayPack(*arena, 4, 3.0);
    straight.spaced += p.spaced / 3, straight.damage += p.damage / 3;
  }
  for (size_t i = 0; i < 4; ++i)
    FixStyle(static_cast<size_t>(genomes[i]), i % 2 ? kWideLeft : kWideRight);
  Pack spread;
  for (int i = 0; i < 3; ++i) {
    const Pack p = PlayPack(*arena, 4, 3.0);
    spread.spaced += p.spaced / 3, spread.damage += p.damage / 3;
  }
  std::printf("spaced: straight %.3f spread %.3f; health lost: straight %.1f spread %.1f\n",
              straight.spaced, spread.spaced, straight.damage, spread.damage);
  EXPECT_GT(spread.spaced, straight.spaced + 0.1);
}

}  // namespace
}  // namespace kvr
