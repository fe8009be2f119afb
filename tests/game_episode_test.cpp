// Episodes on tracked thugs: the sticky check, style decisions with and without the network,
// every way an episode ends, and the verbose episode line in hand-made situations.
#include <gtest/gtest.h>

#include <limits>
#include <regex>

#include "game/episodes.h"
#include "game_fixture.h"

namespace kvr {
namespace {

class Episodes : public test::GameFixture {
 protected:
  void Decide(game::TrackedThug& t, const aps::Vec3& start, const aps::Vec3& goal) {
    game::DecideApproachStyle(*rt_, t, start, goal, tactics::HorizontalDistance(start, goal),
                              rt_->game.lastUpdate);
  }
};

TEST(StickyStyle, KeepsTheStyleOnlyStrictlyInsideBothLimits) {
  Settings s;  // 2.5 s, 200 cm
  game::TrackedThug t;
  t.currentStyle = 2;
  t.decisionTime = 10.0;
  t.lastGoal = {1000, 1000, 0};
  EXPECT_TRUE(game::KeepStickyStyle(s, t, {1150, 1000, 0}, 11.0));
  EXPECT_TRUE(game::KeepStickyStyle(s, t, {1000, 1199, 900}, 12.4)) << "height does not count";
  EXPECT_FALSE(game::KeepStickyStyle(s, t, {1000, 1000, 0}, 12.5)) << "exactly StickySeconds";
  EXPECT_FALSE(game::KeepStickyStyle(s, t, {1200, 1000, 0}, 11.0)) << "exactly the radius";
  EXPECT_FALSE(game::KeepStickyStyle(s, t, {1000, 1000, 0}, 13.0));
  s.StickySeconds = 0.0f;
  EXPECT_FALSE(game::KeepStickyStyle(s, t, {1000, 1000, 0}, 10.0));
  s = Settings{};
  t.currentStyle = -1;
  EXPECT_FALSE(game::KeepStickyStyle(s, t, {1000, 1000, 0}, 10.5)) << "no style to keep";
}

TEST_F(Episodes, WithoutTheNetworkTheEmptierSideDecidesAndNoEpisodeOpens) {
  Settings s;
  s.NeuralTactics = false;
  mod::ModRuntime& rt = Start(s);
  const auto me = Thug(L"Me", {0, 0, 0});
  const auto other = Thug(L"Other", {0, -400, 0});
  Discover();
  game::TrackedThug& t = Record(me);
  t.outputs.fill(0.5f);
  const uint64_t decisions = rt.game.styleDecisions;

  // Travelling along +x, left is -y: the other thug stands on the left, so go right.
  Decide(t, {0, 0, 0}, {1000, 0, 0});
  EXPECT_EQ(t.currentStyle, aps::kArcRight);
  EXPECT_FALSE(t.episodeActive);
  EXPECT_FALSE(t.explored);
  for (float o : t.outputs) EXPECT_EQ(o, 0.0f);
  EXPECT_EQ(t.decisionTime, rt.game.lastUpdate);
  EXPECT_EQ(rt.game.styleDecisions, decisions + 1);
  Decide(t, {0, 0, 0}, {2000, 0, 0});
  EXPECT_EQ(t.currentStyle, aps::kWideRight) << "over 1500 cm the wide style of that side";

  Place(other.root, {0, 400, 0});
  Tick(2);
  Decide(t, {0, 0, 0}, {1000, 0, 0});
  EXPECT_EQ(t.currentStyle, aps::kArcLeft);
  Decide(t, {0, 0, 0}, {1501, 0, 0});
  EXPECT_EQ(t.currentStyle, aps::kWideLeft);

  // Nearly even: the controller index's parity picks the side.
  Place(other.root, {0, -40, 0});
  Tick(2);
  Decide(t, {0, 0, 0}, {1000, 0, 0});
  EXPECT_EQ(t.currentStyle, t.controllerIndex % 2 == 0 ? aps::kArcLeft : aps::kArcRight);
  EXPECT_EQ(rt.game.styleDecisions, decisions + 5);
  EXPECT_EQ(rt.brain.totalEpisodes, 0u) << "nothing was learnt";
}

TEST_F(Episodes, ANetworkDecisionOpensAnEpisodeThatTheNextOneJudges) {
  mod::ModRuntime& rt = Start(Verbose());
  const auto me = Thug(L"Me", {100, 0, 0});
  Discover();
  game::TrackedThug& t = Record(me);
  ASSERT_GE(t.genomeIndex, 0);
  // Values the decision must read from the pawn itself, not from the last refresh.
  SetHealth(me, 40.0f);
  Place(me.root, {300, 0, 0});
  Decide(t, {300, 0, 0}, {1300, 0, 0});
  ASSERT_TRUE(t.episodeActive);
  EXPECT_GE(t.currentStyle, 0);
  EXPECT_LT(t.currentStyle, aps::kStyleCount);
  EXPECT_EQ(t.episodeStyle, t.currentStyle);
  EXPECT_EQ(t.episodeGenome, t.genomeIndex);
  EXPECT_FLOAT_EQ(t.healthAtStart, 40.0f);
  EXPECT_FLOAT_EQ(t.maxHealthAtStart, 100.0f);
  EXPECT_FLOAT_EQ(t.startDistance, 1000.0f);
  EXPECT_FLOAT_EQ(t.episodeInputs[7], 0.4f) << "my health";
  EXPECT_FLOAT_EQ(t.episodeInputs[3], 1.5f) << "no player";
  float sum = 0;
  for (float o : t.outputs) sum += o;
  EXPECT_GT(sum, 0.0f) << "the network's outputs are kept for the menu";

  Place(me.root, {800, 0, 0});
  Decide(t, {800, 0, 0}, {1300, 0, 0});
  EXPECT_EQ(rt.brain.totalEpisodes, 1u);
  EXPECT_EQ(t.episodeCount, 1);
  EXPECT_GT(t.lastReward, 0.0f);
  bool found = false;
  const std::regex line(
      R"(\[KorvathNeuralNav\] episode re-plan: BP_ThugBase_C style=[A-Za-z ]+ progress=0\.50 )"
      R"(dmg=0\.00 hits=0\.00 spacing=1\.00 -> reward 0\.[0-9]{3} \(loss [0-9]+\.[0-9]{4}\)\n)");
  for (const std::string& l : Lines()) found = found || std::regex_match(l, line);
  EXPECT_TRUE(found);
}

// Time-out and death, with every part of the reward in play; genome 99 does not exist, so the
// episode trains nothing and its loss is 0.
TEST_F(Episodes, TimeAndDeathEndsWriteTheExactVerboseLine) {
  Settings s;
  s.VerboseLog = true;
  s.EpisodeSeconds = 1.0f;
  mod::ModRuntime& rt = Start(s);
  const auto player = Player({600, 0, 0});
  const auto runner = Thug(L"Runner", {500, 0, 0});
  const auto victim = Thug(L"Victim", {5000, 5000, 0});
  Discover();
  game::TrackedThug& r = Record(runner);
  game::TrackedThug& v = Record(victim);
  // Half way to its goal, a quarter of its health gone, the only thug near the player when it
  // loses a chunk, nobody within SpacingDistance.
  OpenEpisode(r, aps::kWeaveLeft, 99, {1000, 0, 0}, 1000.0f, 100.0f, rt.game.lastUpdate);
  SetHealth(runner, 75.0f);
  OpenEpisode(v, aps::kDirect, 99, {5000, 5000, 0}, 0.0f, 100.0f, rt.game.lastUpdate);
  SetChunks(player, 4);
  Tick(1, 0.2);
  SetHealth(victim, 0.0f);
  SetAlive(victim, false);
  Tick(1, 0.2);
  EXPECT_EQ(Count("episode died: BP_ThugBase_C style=Direct progress=0.00 dmg=1.00 hits=0.00 "
                  "spacing=1.00 -> reward 0.133 (loss 0.0000)"),
            1);
  EXPECT_TRUE(r.episodeActive);
  Tick(6, 0.2);
  EXPECT_FALSE(r.episodeActive);
  EXPECT_EQ(Count("episode time: BP_ThugBase_C style=Weave Left progress=0.50 dmg=0.25 "
                  "hits=1.00 spacing=1.00 -> reward 0.887 (loss 0.0000)"),
            1);
  EXPECT_NEAR(r.lastReward, 0.8872f, 1e-4);
  EXPECT_EQ(r.episodeCount, 1);
  EXPECT_EQ(rt.brain.totalEpisodes, 0u);
}

TEST_F(Episodes, QuietWithoutVerboseLogButStillLearning) {
  mod::ModRuntime& rt = Start();
  const auto me = Thug(L"Me", {0, 0, 0});
  Discover();
  game::TrackedThug& t = Record(me);
  const size_t lines = Lines().size();
  OpenEpisode(t, aps::kArcLeft, t.genomeIndex, {0, 0, 0}, 0.0f, 100.0f, rt.game.lastUpdate);
  SetAlive(me, false);
  Tick(2);
  EXPECT_FALSE(t.episodeActive);
  EXPECT_EQ(rt.brain.totalEpisodes, 1u);
  EXPECT_EQ(rt.brain.styleStats[aps::kArcLeft].episodes, 1u);
  EXPECT_EQ(Lines().size(), lines);
}

// A pawn the engine reports at a non-finite position judges nothing: the brain refuses the
// episode, and the thug keeps showing its last real reward, not "nan".
TEST_F(Episodes, ANonFinitePositionEndsTheEpisodeUnlearnt) {
  mod::ModRuntime& rt = Start();
  const auto me = Thug(L"Me", {0, 0, 0});
  Discover();
  game::TrackedThug& t = Record(me);
  OpenEpisode(t, aps::kArcLeft, t.genomeIndex, {800, 0, 0}, 800.0f, 100.0f, rt.game.lastUpdate);
  Place(me.root, {std::numeric_limits<float>::quiet_NaN(), 0, 0});
  SetAlive(me, false);
  Tick(2);
  EXPECT_FALSE(t.episodeActive);
  EXPECT_EQ(rt.brain.nonFiniteEpisodes, 1u);
  EXPECT_EQ(rt.brain.totalEpisodes, 0u);
  EXPECT_EQ(t.lastReward, -1.0f);
  EXPECT_EQ(t.episodeCount, 0);
  Tick(60);  // a snapshot is due
  const ModState& state = ModState::Get();
  ASSERT_TRUE(state.snapshot);
  EXPECT_EQ(state.snapshot->nonFiniteEpisodes, 1u);
}

TEST_F(Episodes, MasterSwitchOffEndsEpisodesAndRestoresAvoidanceOnce) {
  Settings s = Verbose();
  mod::ModRuntime& rt = Start(s);
  const auto me = Thug(L"Me", {0, 0, 0});
  Discover();
  game::TrackedThug& t = Record(me);
  ASSERT_TRUE(world_.GetBool(me.movement, L"bUseRVOAvoidance"));
  EXPECT_FLOAT_EQ(*world_.Field<float>(me.movement, L"AvoidanceConsiderationRadius"), 350.0f);
  OpenEpisode(t, aps::kArcRight, 99, {0, 0, 0}, 0.0f, 100.0f, rt.game.lastUpdate);
  s.Enabled = false;
  Publish(s);
  Tick(2);
  EXPECT_EQ(Count("episode disabled: BP_ThugBase_C style=Arc Right progress=0.00 dmg=0.00 "
                  "hits=0.00 spacing=1.00 -> reward 0.593 (loss 0.0000)"),
            1);
  EXPECT_FALSE(t.avoidanceApplied);
  EXPECT_FALSE(world_.GetBool(me.movement, L"bUseRVOAvoidance"));
  EXPECT_FLOAT_EQ(*world_.Field<float>(me.movement, L"AvoidanceConsiderationRadius"), 500.0f);
  EXPECT_FLOAT_EQ(*world_.Field<float>(me.movement, L"AvoidanceWeight"), 0.5f);
  // While off: thugs are still found, but no refresh, no avoidance, no episode ends.
  Discover();
  EXPECT_FALSE(t.avoidanceApplied);
  Publish(s);
  Discover();
  EXPECT_EQ(Count("master switch OFF: navmesh path functions restored, local avoidance restored"),
            1);
  // Back on: the next discovery switches avoidance on again.
  s.Enabled = true;
  Publish(s);
  Discover();
  EXPECT_TRUE(t.avoidanceApplied);
  EXPECT_TRUE(world_.GetBool(me.movement, L"bUseRVOAvoidance"));
}

TEST_F(Episodes, BrainResetDropsRunningEpisodesUnjudgedAndHandsOutFreshGenomes) {
  mod::ModRuntime& rt = Start(Verbose());
  std::vector<sim::ThugObjects> thugs;
  for (int i = 0; i < 3; ++i) thugs.push_back(Thug(L"T" + std::to_wstring(i), {i * 300.0f, 0, 0}));
  Discover();
  for (const auto& t : thugs)
    OpenEpisode(Record(t), 0, Record(t).genomeIndex, {}, 0, 100, rt.game.lastUpdate);
  rt.brain.totalEpisodes = 7;
  const size_t lines = Lines().size();
  ModState::Get().requestResetBrain = 1;
  Tick(1);
  EXPECT_EQ(rt.brain.totalEpisodes, 0u);
  int32_t users = 0;
  for (const auto& g : rt.brain.genomes) users += g.users;
  EXPECT_EQ(users, 3);
  for (const auto& t : thugs) {
    EXPECT_FALSE(Record(t).episodeActive);
    EXPECT_TRUE(rt.brain.ValidGenome(Record(t).genomeIndex));
  }
  EXPECT_EQ(Lines().size(), lines + 1) << "only the reset's own line";
  EXPECT_EQ(Count("brain reset to a fresh population"), 1);
}

TEST_F(Episodes, ASmallerPopulationReassignsTheGenomesThatWentAway) {
  mod::ModRuntime& rt = Start();
  std::vector<sim::ThugObjects> thugs;
  for (int i = 0; i < 8; ++i) thugs.push_back(Thug(L"T" + std::to_wstring(i), {i * 300.0f, 0, 0}));
  Discover();
  std::vector<int32_t> before;
  for (const auto& t : thugs) before.push_back(Record(t).genomeIndex);
  EXPECT_EQ(*std::max_element(before.begin(), before.end()), 7);
  Settings s;
  s.Population = 3;
  Publish(s);
  Tick(1);
  ASSERT_EQ(rt.brain.genomes.size(), 3u);
  for (size_t i = 0; i < thugs.size(); ++i) {
    const int32_t now = Record(thugs[i]).genomeIndex;
    EXPECT_LT(now, 3);
    if (before[i] < 3) {
      EXPECT_EQ(now, before[i]) << "a valid index is kept";
    }
  }
}

}  // namespace
}  // namespace kvr
