// Brain: config from settings, reset, reconfiguration, genome assignment, the exploration
// schedule, style choice and learning with replay.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "splitmix_support.h"
#include "tactics/brain.h"

namespace kvr::tactics {
namespace {

using test::kGolden;

BrainConfig Defaults() {
  return MakeBrainConfig(Settings{});
}

Observation SomeInputs(float base) {
  Observation o{};
  for (int i = 0; i < kInputCount; ++i) o[i] = base + 0.05f * static_cast<float>(i);
  return o;
}

TEST(BrainConfig, TakesTheNeuralNetSettings) {
  const BrainConfig d = Defaults();
  EXPECT_EQ(d.hiddenLayer1, 16);
  EXPECT_EQ(d.hiddenLayer2, 12);
  EXPECT_EQ(d.hiddenActivation, kTanh);
  EXPECT_EQ(d.xavier, 1);
  EXPECT_EQ(d.weightedCrossover, 1);
  EXPECT_EQ(d.mutationType, 4);
  EXPECT_FLOAT_EQ(d.weightDecay, 0.0001f);
  EXPECT_EQ(d.evolveEvery, 48);
  Settings s;
  s.InitMode = 0;
  s.CrossoverType = 0;
  s.HiddenLayer2 = 0;
  s.HiddenActivation = 1;
  const BrainConfig c = MakeBrainConfig(s);
  EXPECT_EQ(c.xavier, 0);
  EXPECT_EQ(c.weightedCrossover, 0);
  const NetworkShape shape = ShapeOf(c);
  EXPECT_EQ(shape.layerSizes, (std::vector<int32_t>{12, 16, 7}));
  EXPECT_EQ(shape.activations, (std::vector<uint8_t>{kReLU, kSigmoid}));
  EXPECT_EQ(ShapeOf(d).layerSizes, (std::vector<int32_t>{12, 16, 12, 7}));
}

TEST(Brain, ResetWithSeedZeroStartsAtTheFixedStateAndMakesTheGenomesInOrder) {
  Brain brain;
  brain.config = Defaults();
  brain.totalEpisodes = 9;
  brain.Reset(0);
  ASSERT_EQ(brain.genomes.size(), 8u);
  // Eight xavier genomes draw 8 x 468 weights from the fixed start.
  EXPECT_EQ(brain.rng.state, kZeroSeedState + 8 * 468 * kGolden);
  Rng first{kZeroSeedState};
  const float s = XavierScale(12, 16);
  EXPECT_EQ(brain.genomes[0].network.weights[0], first.NextUnit() * (2.0f * s) - s);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(brain.genomes[i].id, i + 1);
    EXPECT_EQ(brain.genomes[i].fitness, 0.5);
    EXPECT_EQ(brain.genomes[i].bornGeneration, 0);
  }
  EXPECT_EQ(brain.nextGenomeId, 9u);
  EXPECT_EQ(brain.totalEpisodes, 0u);

  brain.Reset(77);
  EXPECT_EQ(brain.rng.state, 77 + 8 * 468 * kGolden);
  brain.config.population = 1;
  brain.Reset(1);
  EXPECT_EQ(brain.genomes.size(), 1u);
  brain.config.population = 0;
  brain.Reset(1);
  EXPECT_EQ(brain.genomes.size(), 1u) << "at least one genome is always made";
}

TEST(Brain, ConfigureResetsOnShapeOrActivationChangeOnly) {
  Brain brain;
  brain.Configure(Defaults(), 11);
  brain.genomes[2].episodes = 5;
  brain.generation = 3;

  BrainConfig c = Defaults();
  c.xavier = 0;
  c.learningRate = 0.2f;
  brain.Configure(c, 12);
  EXPECT_EQ(brain.generation, 3u) << "InitMode and rates do not reset";
  EXPECT_EQ(brain.genomes[2].episodes, 5);
  EXPECT_FLOAT_EQ(brain.config.learningRate, 0.2f);

  c.hiddenActivation = kReLU;
  brain.Configure(c, 13);
  EXPECT_EQ(brain.generation, 0u);
  EXPECT_EQ(brain.genomes[2].episodes, 0);
  EXPECT_EQ(brain.genomes[0].network.activations[0], kReLU);

  brain.generation = 4;
  c.hiddenLayer2 = 0;
  brain.Configure(c, 14);
  EXPECT_EQ(brain.generation, 0u);
  EXPECT_EQ(brain.genomes[0].network.layerSizes.size(), 3u);
}

TEST(Brain, ShrinkingThePopulationRemovesTheLowestFitnessFirst) {
  Brain brain;
  brain.Configure(Defaults(), 3);
  const double fitness[8] = {0.6, 0.2, 0.9, 0.2, 0.7, 0.1, 0.8, 0.5};
  for (size_t i = 0; i < 8; ++i) brain.genomes[i].fitness = fitness[i];
  BrainConfig c = Defaults();
  c.population = 5;
  brain.Configure(c, 4);
  std::vector<uint32_t> ids;
  for (const Genome& g : brain.genomes) ids.push_back(g.id);
  // Removed: 0.1 (id 6), then the earlier 0.2 (id 2), then the other 0.2 (id 4).
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 3, 5, 7, 8}));

  c.population = 7;
  const uint64_t before = brain.rng.state;
  brain.Configure(c, 5);
  ASSERT_EQ(brain.genomes.size(), 7u);
  EXPECT_EQ(brain.genomes[5].id, 9u);
  EXPECT_EQ(brain.genomes[6].id, 10u);
  EXPECT_EQ(brain.rng.state, before + 2 * 468 * kGolden) << "grows from the brain's rng";
  c.population = 1;
  brain.Configure(c, 6);
  EXPECT_EQ(brain.genomes.size(), 1u);
  EXPECT_EQ(brain.genomes[0].id, 3u) << "the fittest stays";
}

TEST(Brain, LoweringTheReplaySizeTruncatesAndRestartsTheRing) {
  Brain brain;
  brain.Configure(Defaults(), 3);
  brain.replay.resize(10);
  for (size_t i = 0; i < 10; ++i) brain.replay[i].style = static_cast<uint8_t>(i % 7);
  brain.replayWritePos = 7;
  BrainConfig c = Defaults();
  c.replaySize = 20;
  brain.Configure(c, 1);
  EXPECT_EQ(brain.replay.size(), 10u);
  EXPECT_EQ(brain.replayWritePos, 7u);
  c.replaySize = 4;
  brain.Configure(c, 1);
  ASSERT_EQ(brain.replay.size(), 4u);
  EXPECT_EQ(brain.replay[3].style, 3);
  EXPECT_EQ(brain.replayWritePos, 0u);
}

TEST(Brain, AssignGenomePrefersFewestUsersThenFewestEpisodes) {
  Brain brain;
  EXPECT_EQ(brain.AssignGenome(), -1);
  BrainConfig c = Defaults();
  c.population = 3;
  brain.Configure(c, 1);
  brain.genomes[0].episodes = 4;
  brain.genomes[1].episodes = 2;
  brain.genomes[2].episodes = 2;
  EXPECT_EQ(brain.AssignGenome(), 1);
  EXPECT_EQ(brain.AssignGenome(), 2);
  EXPECT_EQ(brain.AssignGenome(), 0);
  EXPECT_EQ(brain.AssignGenome(), 1);
  brain.ReleaseGenome(1);
  brain.ReleaseGenome(1);
  brain.ReleaseGenome(1);
  EXPECT_EQ(brain.genomes[1].users, 0) << "never below 0";
  brain.ReleaseGenome(-1);
  brain.ReleaseGenome(3);
  EXPECT_EQ(brain.AssignGenome(), 1);
}

TEST(Brain, ExplorationSlidesFromStartToMin) {
  Brain brain;
  brain.config = Defaults();
  EXPECT_FLOAT_EQ(brain.ExplorationRate(), 0.30f);
  brain.totalEpisodes = 300;
  EXPECT_FLOAT_EQ(brain.ExplorationRate(), 0.175f);
  brain.totalEpisodes = 600;
  EXPECT_FLOAT_EQ(brain.ExplorationRate(), 0.05f);
  brain.totalEpisodes = 100000;
  EXPECT_FLOAT_EQ(brain.ExplorationRate(), 0.05f);
  brain.config.exploreDecayEpisodes = 1;
  brain.totalEpisodes = 1;
  EXPECT_FLOAT_EQ(brain.ExplorationRate(), 0.05f);
  brain.config.exploreStart = 0.01f;  // a start below the minimum is lifted to it
  brain.totalEpisodes = 0;
  EXPECT_FLOAT_EQ(brain.ExplorationRate(), 0.05f);
}

TEST(Brain, ChooseStyleDrawsOneUnitAndExploresWithASecondDraw) {
  Brain brain;
  brain.Configure(Defaults(), 5);
  std::array<float, kStyleCount> outputs;
  outputs.fill(-1.0f);
  const uint64_t before = brain.rng.state;
  const StyleChoice none = brain.ChooseStyle(8, SomeInputs(0.1f), outputs);
  EXPECT_EQ(none.style, 0);
  EXPECT_FALSE(none.explored);
  EXPECT_EQ(outputs[0], -1.0f) << "outputs untouched";
  EXPECT_EQ(brain.rng.state, before);

  brain.config.exploreStart = brain.config.exploreMin = 0.0f;
  const StyleChoice best = brain.ChooseStyle(0, SomeInputs(0.1f), outputs);
  EXPECT_FALSE(best.explored);
  EXPECT_EQ(best.style, std::max_element(outputs.begin(), outputs.end()) - outputs.begin());
  EXPECT_EQ(brain.rng.state, before + kGolden);

  brain.config.exploreStart = brain.config.exploreMin = 1.0f;
  Rng predict = brain.rng;
  predict.NextUnit();
  const uint64_t expected = predict.NextU64() % 7;
  const StyleChoice explored = brain.ChooseStyle(0, SomeInputs(0.1f), outputs);
  EXPECT_TRUE(explored.explored);
  EXPECT_EQ(static_cast<uint64_t>(explored.style), expected);
  EXPECT_EQ(brain.rng.state, predict.state);
}

TEST(Brain, EqualOutputsChooseTheLowestStyle) {
  Brain brain;
  brain.Configure(Defaults(), 5);
  brain.config.exploreStart = brain.config.exploreMin = 0.0f;
  Network& net = brain.genomes[0].network;
  std::fill(net.weights.begin(), net.weights.end(), 0.0f);
  std::fill(net.biases.begin(), net.biases.end(), 0.0f);
  std::array<float, kStyleCount> outputs;
  EXPECT_EQ(brain.ChooseStyle(0, SomeInputs(0.3f), outputs).style, 0);
  net.biases[34] = 1.0f;  // the last output neuron: "Weave Right"
  EXPECT_EQ(brain.ChooseStyle(0, SomeInputs(0.3f), outputs).style, 6);
}

// One genome, no replay, no evolution: Learn draws nothing.
Brain PlainLearner() {
  BrainConfig c = Defaults();
  c.population = 1;
  c.replaySize = 0;
  Brain brain;
  brain.Configure(c, 21);
  return brain;
}

TEST(Brain, LearnIgnoresInvalidGenomesAndStyles) {
  Brain brain = PlainLearner();
  const std::vector<float> before = brain.genomes[0].network.weights;
  EXPECT_EQ(brain.Learn(1, SomeInputs(0.1f), 2, 0.7f), 0.0f);
  EXPECT_EQ(brain.Learn(-1, SomeInputs(0.1f), 2, 0.7f), 0.0f);
  EXPECT_EQ(brain.Learn(0, SomeInputs(0.1f), 7, 0.7f), 0.0f);
  EXPECT_EQ(brain.totalEpisodes, 0u);
  EXPECT_EQ(brain.genomes[0].network.weights, before);
}

TEST(Brain, LearnTrainsOnlyTheChosenOutputAndKeepsCounters) {
  Brain brain = PlainLearner();
  const uint64_t rngBefore = brain.rng.state;
  const Observation in = SomeInputs(0.2f);
  std::array<float, kStyleCount> before, after;
  brain.genomes[0].network.Forward(in, before);
  const float loss = brain.Learn(0, in, 3, 1.5f);
  brain.genomes[0].network.Forward(in, after);
  EXPECT_GT(after[3], before[3]) << "pulled towards the clamped reward 1";
  EXPECT_NEAR(loss, 0.5f * (1.0f - before[3]) * (1.0f - before[3]), 1e-6f);
  EXPECT_EQ(brain.averageLoss, loss) << "the first loss is taken as is";
  EXPECT_EQ(brain.genomes[0].fitness, 1.0) << "the fresh 0.5 is replaced by the first reward";
  EXPECT_EQ(brain.styleStats[3].episodes, 1u);
  EXPECT_EQ(brain.styleStats[3].rewardSum, 1.0);
  EXPECT_EQ(brain.totalEpisodes, 1u);
  EXPECT_EQ(brain.rng.state, rngBefore) << "no replay, no evolution: no draw";
  EXPECT_TRUE(brain.replay.empty());

  const float second = brain.Learn(0, in, 0, -0.5f);
  EXPECT_FLOAT_EQ(brain.averageLoss, loss * 0.98f + 0.02f * second);
  EXPECT_EQ(brain.genomes[0].fitness, 0.5);
  EXPECT_EQ(brain.styleStats[0].rewardSum, 0.0);
}

TEST(Brain, FitnessIsThePlainMeanThroughTheTwentiethEpisodeThenSmoothed) {
  Brain brain = PlainLearner();
  double sum = 0.0;
  for (int i = 1; i <= 20; ++i) {
    const float r = 0.05f * static_cast<float>(i % 9);
    sum += r;
    brain.Learn(0, SomeInputs(0.1f), i % 7, r);
  }
  EXPECT_NEAR(brain.genomes[0].fitness, sum / 20.0, 1e-12);
  EXPECT_EQ(brain.genomes[0].episodes, 20);
  const double f = brain.genomes[0].fitness;
  brain.Learn(0, SomeInputs(0.1f), 1, 1.0f);
  EXPECT_DOUBLE_EQ(brain.genomes[0].fitness, f + (1.0 - f) * 0.05);
}

TEST(Brain, DamagedEpisodeCountsNeitherDivideByZeroNorOverflow) {
  Brain brain = PlainLearner();
  brain.genomes[0].episodes = -1;
  brain.Learn(0, SomeInputs(0.1f), 1, 1.0f);
  EXPECT_TRUE(std::isfinite(brain.genomes[0].fitness));
  brain.genomes[0].episodes = std::numeric_limits<int32_t>::max();
  brain.Learn(0, SomeInputs(0.1f), 1, 1.0f);
  EXPECT_EQ(brain.genomes[0].episodes, std::numeric_limits<int32_t>::max());
}

TEST(Brain, ReplayMemoryIsARingAndReplaysDrawOnlyWithAChoice) {
  BrainConfig c = Defaults();
  c.population = 1;
  c.replaySize = 3;
  c.replayPerEpisode = 2;
  Brain brain;
  brain.Configure(c, 8);
  uint64_t state = brain.rng.state;
  brain.Learn(0, SomeInputs(0.0f), 0, 0.1f);
  EXPECT_EQ(brain.rng.state, state) << "one record: both replays pick it without a draw";
  brain.Learn(0, SomeInputs(0.1f), 1, 0.2f);
  EXPECT_EQ(brain.rng.state, state + 2 * kGolden);
  brain.Learn(0, SomeInputs(0.2f), 2, 0.3f);
  ASSERT_EQ(brain.replay.size(), 3u);
  EXPECT_EQ(brain.replayWritePos, 0u);
  brain.Learn(0, SomeInputs(0.3f), 3, 2.0f);
  brain.Learn(0, SomeInputs(0.4f), 4, 0.5f);
  EXPECT_EQ(brain.replay[0].style, 3);
  EXPECT_EQ(brain.replay[0].reward, 1.0f) << "stored clamped";
  EXPECT_EQ(brain.replay[1].style, 4);
  EXPECT_EQ(brain.replay[2].style, 2);
  EXPECT_EQ(brain.replayWritePos, 2u);

  // ReplayPerEpisode 0 stores but trains on the episode alone (no draws).
  c.replayPerEpisode = 0;
  brain.Configure(c, 8);
  state = brain.rng.state;
  brain.Learn(0, SomeInputs(0.5f), 5, 0.5f);
  EXPECT_EQ(brain.rng.state, state);
  EXPECT_EQ(brain.replay[2].style, 5);
}

TEST(Brain, LearnEvolvesEveryNEpisodesOnlyWithAPopulation) {
  BrainConfig c = Defaults();
  c.population = 2;
  c.evolveEvery = 4;
  c.minEpisodesToRank = 1;
  c.replaySize = 0;
  Brain brain;
  brain.Configure(c, 8);
  for (int i = 0; i < 4; ++i) brain.Learn(i % 2, SomeInputs(0.1f), 1, 0.5f);
  EXPECT_EQ(brain.generation, 1u);
  for (int i = 0; i < 3; ++i) brain.Learn(0, SomeInputs(0.1f), 1, 0.5f);
  EXPECT_EQ(brain.generation, 1u);

  c.population = 1;
  Brain single;
  single.Configure(c, 8);
  for (int i = 0; i < 8; ++i) single.Learn(0, SomeInputs(0.1f), 1, 0.5f);
  EXPECT_EQ(single.generation, 0u);
}

}  // namespace
}  // namespace kvr::tactics
