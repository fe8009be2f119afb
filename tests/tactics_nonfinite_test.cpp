// One NaN or infinite game value must not poison the brain: it reaches Brain::Learn as a NaN
// (never as a clamped bound), and Learn then trains nothing, stores nothing, leaves fitness and
// the counters alone and only counts the episode.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tactics/brain.h"

namespace kvr::tactics {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

Brain Learner() {
  BrainConfig c = MakeBrainConfig(Settings{});
  c.population = 2;
  c.evolveEvery = 4;
  Brain brain;
  brain.Configure(c, 77);
  // Some history, so that a poisoned step would have something to spoil.
  Observation o{};
  for (int i = 0; i < 6; ++i) {
    o.fill(0.1f * static_cast<float>(i));
    brain.Learn(i % 2, o, i % 7, 0.5f);
  }
  return brain;
}

// Everything Learn may change, compared whole.
void ExpectUnchanged(const Brain& a, const Brain& b) {
  ASSERT_EQ(a.genomes.size(), b.genomes.size());
  for (size_t i = 0; i < a.genomes.size(); ++i) {
    EXPECT_EQ(a.genomes[i].network.weights, b.genomes[i].network.weights) << i;
    EXPECT_EQ(a.genomes[i].network.biases, b.genomes[i].network.biases) << i;
    EXPECT_EQ(a.genomes[i].fitness, b.genomes[i].fitness) << i;
    EXPECT_EQ(a.genomes[i].episodes, b.genomes[i].episodes) << i;
  }
  EXPECT_EQ(a.replay.size(), b.replay.size());
  EXPECT_EQ(a.replayWritePos, b.replayWritePos);
  EXPECT_EQ(a.rng.state, b.rng.state);
  EXPECT_EQ(a.totalEpisodes, b.totalEpisodes);
  EXPECT_EQ(a.generation, b.generation);
  EXPECT_EQ(a.averageLoss, b.averageLoss);
  for (int s = 0; s < kStyleCount; ++s) {
    EXPECT_EQ(a.styleStats[s].episodes, b.styleStats[s].episodes);
    EXPECT_EQ(a.styleStats[s].rewardSum, b.styleStats[s].rewardSum);
  }
}

TEST(NonFinite, AnEpisodeWithANonFiniteInputOrRewardTeachesNothingAndIsCounted) {
  const Brain before = Learner();
  Observation ok{};
  ok.fill(0.3f);
  struct Case {
    float input;
    float reward;
  } cases[] = {{kNaN, 0.5f}, {kInf, 0.5f}, {-kInf, 0.5f}, {0.3f, kNaN}, {0.3f, kInf}};
  Brain brain = before;
  uint64_t counted = 0;
  for (const Case& c : cases) {
    Observation in = ok;
    in[4] = c.input;
    EXPECT_EQ(brain.Learn(1, in, 2, c.reward), 0.0f);
    EXPECT_EQ(brain.nonFiniteEpisodes, ++counted);
    ExpectUnchanged(brain, before);
    EXPECT_TRUE(std::isfinite(brain.averageLoss));
  }
  // A finite episode afterwards learns as usual, and the count survives it.
  EXPECT_GT(brain.Learn(1, ok, 2, 0.9f), 0.0f);
  EXPECT_EQ(brain.totalEpisodes, before.totalEpisodes + 1);
  EXPECT_EQ(brain.nonFiniteEpisodes, counted);
  brain.Reset(5);
  EXPECT_EQ(brain.nonFiniteEpisodes, 0u);
}

TEST(NonFinite, ANetworkThatAnswersNonFiniteLearnsNothing) {
  // Weights so large that finite inputs overflow a sum (a damaged brain, not a file's NaN).
  Brain brain = Learner();
  for (float& w : brain.genomes[0].network.weights) w = 3e38f;
  const Brain before = brain;
  Observation in{};
  in[0] = 1.5f;  // 4.5e38 and -4.5e38 overflow to +inf and -inf, whose sum is NaN
  in[1] = -1.5f;
  EXPECT_EQ(brain.Learn(0, in, 0, 0.5f), 0.0f);
  EXPECT_EQ(brain.nonFiniteEpisodes, 1u);
  ExpectUnchanged(brain, before);
}

TEST(NonFinite, TrainTurnsANaNChangeSignalIntoNoChange) {
  // A NaN signal used to be clipped to +clip, moving every one of the parameters.
  Network net;
  Rng rng{3};
  const int32_t sizes[] = {3, 4, 2};
  const uint8_t codes[] = {kTanh, kSigmoid};
  ASSERT_TRUE(net.Init(sizes, codes, rng, true));
  const Network before = net;
  const float input[] = {0.5f, kNaN, -0.25f};
  const float target[] = {0.2f, 0.8f};
  net.Train(input, target, 0.05f, 0.0f, 0.0f, 1.0f);
  EXPECT_EQ(net.weights, before.weights);
  EXPECT_EQ(net.biases, before.biases);
}

TEST(NonFinite, GameValuesThatAreNotNumbersReachTheBrainAsNaN) {
  ObservationInputs base;
  base.start = {0.0f, 0.0f, 0.0f};
  base.goal = {1200.0f, 300.0f, 0.0f};
  base.routeLength = 1300.0f;
  base.hasPlayer = true;
  base.player = {800.0f, -400.0f, 0.0f};
  base.health = 80.0f;
  base.maxHealth = 100.0f;
  const Observation good = BuildObservation(base);
  for (float v : good) ASSERT_TRUE(std::isfinite(v));

  const auto anyNaN = [](const Observation& o) {
    for (float v : o)
      if (std::isnan(v)) return true;
    return false;
  };
  // Each of these used to pass for a bound: a full-length trip, full health, the far player.
  ObservationInputs in = base;
  in.goal.x = kNaN;
  EXPECT_TRUE(std::isnan(BuildObservation(in)[0])) << "trip length";
  in = base;
  in.health = kNaN;
  EXPECT_TRUE(std::isnan(BuildObservation(in)[7])) << "my health";
  in = base;
  in.maxHealth = kNaN;
  EXPECT_TRUE(std::isnan(BuildObservation(in)[7])) << "max health";
  in = base;
  in.player.y = kInf;
  EXPECT_TRUE(anyNaN(BuildObservation(in))) << "player position";
  in = base;
  in.playerYawDegrees = kNaN;
  EXPECT_TRUE(std::isnan(BuildObservation(in)[4])) << "player yaw";
  in = base;
  in.playerSpeed = kNaN;
  EXPECT_TRUE(std::isnan(BuildObservation(in)[10])) << "player speed";
  in = base;
  in.fearThreshold = kNaN;
  EXPECT_TRUE(std::isnan(BuildObservation(in)[11])) << "fear threshold";

  // End to end: such an episode is refused by the brain.
  Brain brain = Learner();
  in = base;
  in.start.y = kNaN;
  EXPECT_EQ(brain.Learn(0, BuildObservation(in), 1, 0.5f), 0.0f);
  EXPECT_EQ(brain.nonFiniteEpisodes, 1u);
}

TEST(NonFinite, AnEpisodeOutcomeThatIsNotANumberScoresNaNNotFullProgress) {
  EpisodeOutcome e;
  e.startDistance = 1000.0f;
  e.currentDistance = 400.0f;
  e.healthAtStart = e.currentHealth = e.maxHealthAtStart = 100.0f;
  ASSERT_TRUE(std::isfinite(ScoreEpisode(e, Settings{}).reward));
  float EpisodeOutcome::*fields[] = {
      &EpisodeOutcome::startDistance, &EpisodeOutcome::currentDistance,
      &EpisodeOutcome::healthAtStart, &EpisodeOutcome::maxHealthAtStart,
      &EpisodeOutcome::currentHealth, &EpisodeOutcome::playerHitSum};
  for (float EpisodeOutcome::*field : fields) {
    for (float bad : {kNaN, kInf}) {
      EpisodeOutcome broken = e;
      broken.*field = bad;
      EXPECT_TRUE(std::isnan(ScoreEpisode(broken, Settings{}).reward));
    }
  }
}

TEST(NonFinite, AGenomeWhoseNetworkCouldNotBeMadeNeverRunsIt) {
  BrainConfig c = MakeBrainConfig(Settings{});
  c.hiddenLayer1 = -3;  // no settings record can hold this; a config made in code can
  c.population = 2;
  Brain brain;
  brain.Configure(c, 9);
  ASSERT_EQ(brain.genomes.size(), 2u);
  EXPECT_FALSE(brain.genomes[0].network.Consistent());
  EXPECT_TRUE(brain.genomes[0].network.layerSizes.empty()) << "a failed Init leaves it empty";
  std::array<float, kStyleCount> outputs;
  outputs.fill(0.25f);
  Observation in{};
  const StyleChoice choice = brain.ChooseStyle(0, in, outputs);
  EXPECT_EQ(choice.style, 0);
  EXPECT_EQ(outputs[3], 0.25f) << "outputs untouched";
  EXPECT_EQ(brain.Learn(0, in, 2, 0.5f), 0.0f);
  EXPECT_EQ(brain.totalEpisodes, 0u);
}

}  // namespace
}  // namespace kvr::tactics
