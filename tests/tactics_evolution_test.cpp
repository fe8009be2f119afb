// Mutation and crossover operators (values and draw order) and one generation of evolution.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "splitmix_support.h"
#include "tactics/brain.h"
#include "tactics/evolution.h"

namespace kvr::tactics {
namespace {

using test::kGolden;

std::vector<float> Ramp(size_t n) {
  std::vector<float> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<float>(i) + 0.5f;
  return v;
}

TEST(Mutate, EmptyVectorsAndUnknownTypesAreCopiedWithoutDraws) {
  Rng rng{3};
  EXPECT_TRUE(Mutate({}, kShift, 0.5f, rng).empty());
  EXPECT_EQ(Mutate(Ramp(5), 5, 0.5f, rng), Ramp(5));
  EXPECT_EQ(rng.state, 3u);
}

TEST(Mutate, TouchCountRoundsHalfUpAndZeroTouchesDrawNothing) {
  Rng rng{3};
  EXPECT_EQ(Mutate(Ramp(10), kIncrement, 0.04f, rng), Ramp(10));  // 10 x 0.04 + 0.5 < 1
  EXPECT_EQ(rng.state, 3u);
  Mutate(Ramp(10), kIncrement, 0.05f, rng);  // one touch: u and an index
  EXPECT_EQ(rng.state, 3 + 2 * kGolden);
  Mutate(Ramp(10), kShuffle, 0.25f, rng);  // k = 3: two index draws each
  EXPECT_EQ(rng.state, 3 + 8 * kGolden);
}

TEST(Mutate, ShuffleSwapsPairsOfDrawnIndexes) {
  Rng rng{11}, predict{11};
  const std::vector<float> out = Mutate(Ramp(8), kShuffle, 0.25f, rng);  // k = 2
  std::vector<float> expected = Ramp(8);
  for (int t = 0; t < 2; ++t) {
    const size_t i = predict.NextU64() % 8, j = predict.NextU64() % 8;
    std::swap(expected[i], expected[j]);
  }
  EXPECT_EQ(out, expected);
  EXPECT_EQ(rng.state, predict.state);
  Rng one{11};
  EXPECT_EQ(Mutate({4.0f}, kShuffle, 1.0f, one), std::vector<float>{4.0f});
  EXPECT_EQ(one.state, 11u) << "a single element is never shuffled";
}

TEST(Mutate, ReweightMultiplyAndIncrementDrawUnitThenIndex) {
  const float rate = 0.3f;  // k = floor(6 x 0.3 + 0.5) = 2
  for (uint8_t type : {kReweight, kMultiply, kIncrement}) {
    Rng rng{99}, predict{99};
    const std::vector<float> out = Mutate(Ramp(6), type, rate, rng);
    std::vector<float> expected = Ramp(6);
    for (int t = 0; t < 2; ++t) {
      const float u = predict.NextUnit();
      float& x = expected[predict.NextU64() % 6];
      if (type == kReweight) x = 2.0f * u - 1.0f;
      if (type == kMultiply) x = x * (u * 0.20000005f + 0.9f);
      if (type == kIncrement) x = x + (u * 0.2f - 0.1f);
    }
    EXPECT_EQ(out, expected) << "type " << int(type);
    EXPECT_EQ(rng.state, predict.state);
  }
}

TEST(Mutate, SingleElementIndexDrawsCostNothing) {
  Rng rng{5}, predict{5};
  const std::vector<float> out = Mutate({1.0f}, kIncrement, 1.0f, rng);  // k = 1
  const float u = predict.NextUnit();
  EXPECT_EQ(out[0], 1.0f + (u * 0.2f - 0.1f));
  EXPECT_EQ(rng.state, 5 + kGolden) << "only the unit was drawn";
}

TEST(Mutate, ShiftIgnoresTheRateAndRotates) {
  Rng rng{17}, predict{17};
  const std::vector<float> out = Mutate(Ramp(5), kShift, 0.0f, rng);
  const size_t off = predict.NextU64() % 4 + 1;
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(out[(i + off) % 5], Ramp(5)[i]);
  EXPECT_EQ(rng.state, predict.state);

  Rng two{17};
  EXPECT_EQ(Mutate({1.0f, 2.0f}, kShift, 0.0f, two), (std::vector<float>{2.0f, 1.0f}));
  EXPECT_EQ(two.state, 17u) << "two elements rotate by one without a draw";
  EXPECT_EQ(Mutate({3.0f}, kShift, 0.7f, two), std::vector<float>{3.0f});
  EXPECT_EQ(two.state, 17u);
}

Network Flat(std::vector<int32_t> sizes, float w, float b) {
  Network n;
  const size_t tw = TotalWeights(sizes), tb = TotalBiases(sizes);
  std::vector<uint8_t> codes(sizes.size() - 1, kSigmoid);
  EXPECT_TRUE(n.Assign(sizes, codes, std::vector<float>(tw, w), std::vector<float>(tb, b)));
  return n;
}

TEST(Crossover, WeightedBlendsWithTwoDrawsAverageDrawsNone) {
  const Network a = Flat({2, 2}, 1.0f, 2.0f), b = Flat({2, 2}, 3.0f, 6.0f);
  Rng rng{8}, predict{8};
  Network child;
  ASSERT_TRUE(Crossover(a, b, true, rng, child));
  const float alpha = predict.NextUnit(), beta = predict.NextUnit();
  EXPECT_EQ(child.weights[3], 1.0f * alpha + 3.0f * (1.0f - alpha));
  EXPECT_EQ(child.biases[1], 2.0f * beta + 6.0f * (1.0f - beta));
  EXPECT_EQ(rng.state, predict.state);
  EXPECT_EQ(child.weightVelocities, std::vector<float>(4, 0.0f));

  Rng none{8};
  ASSERT_TRUE(Crossover(a, b, false, none, child));
  EXPECT_EQ(child.weights, std::vector<float>(4, 2.0f));
  EXPECT_EQ(child.biases, std::vector<float>(2, 4.0f));
  EXPECT_EQ(none.state, 8u);

  // Blend factors are drawn even with nothing to blend.
  Network e1, e2, c2;
  Rng init{1};
  ASSERT_TRUE(e1.Init(std::vector<int32_t>{0, 2}, std::vector<uint8_t>{0}, init, true));
  ASSERT_TRUE(e2.Init(std::vector<int32_t>{0, 2}, std::vector<uint8_t>{0}, init, true));
  Rng empty{8};
  ASSERT_TRUE(Crossover(e1, e2, true, empty, c2));
  EXPECT_EQ(empty.state, 8 + 2 * kGolden);
}

TEST(Crossover, RefusesDifferentShapesWithoutDrawing) {
  Rng rng{8};
  Network child = Flat({1, 1}, 9.0f, 9.0f);
  EXPECT_FALSE(Crossover(Flat({2, 2}, 1, 1), Flat({2, 3}, 1, 1), true, rng, child));
  EXPECT_FALSE(Crossover(Flat({2, 2}, 1, 1), Flat({4, 1}, 1, 1), true, rng, child));
  EXPECT_EQ(rng.state, 8u);
  EXPECT_EQ(child.weights[0], 9.0f);
}

// A brain of n genomes, all ranked, with distinct fitness (genome i has fitness 0.1 x (i + 1)).
Brain RankedBrain(int n, int elites) {
  BrainConfig c = MakeBrainConfig(Settings{});
  c.population = n;
  c.elites = elites;
  Brain brain;
  brain.Configure(c, 1234);
  for (int i = 0; i < n; ++i) {
    brain.genomes[i].episodes = 10;
    brain.genomes[i].fitness = 0.1 * (i + 1);
    brain.genomes[i].users = i;
  }
  return brain;
}

std::vector<uint32_t> Ids(const Brain& b) {
  std::vector<uint32_t> ids;
  for (const Genome& g : b.genomes) ids.push_back(g.id);
  return ids;
}

TEST(Evolve, ReplacesTheWeakestMinOfChildrenAndNonElites) {
  Brain brain = RankedBrain(8, 2);
  ASSERT_TRUE(brain.Evolve());
  // children = 4, n - elites = 6: the four weakest (indexes 0..3) are replaced, weakest first.
  EXPECT_EQ(Ids(brain), (std::vector<uint32_t>{9, 10, 11, 12, 5, 6, 7, 8}));
  EXPECT_EQ(brain.generation, 1u);
  EXPECT_EQ(brain.nextGenomeId, 13u);
  for (int i = 0; i < 4; ++i) {
    const Genome& g = brain.genomes[i];
    EXPECT_EQ(g.episodes, 0);
    EXPECT_EQ(g.bornGeneration, 1);
    EXPECT_EQ(g.users, i) << "the thugs keep the slot";
    // Parents come from the fittest half (0.5 .. 0.8), so the mean lies there too.
    EXPECT_GE(g.fitness, 0.5 - 1e-12);
    EXPECT_LE(g.fitness, 0.8 + 1e-12);
  }
  for (int i = 4; i < 8; ++i) EXPECT_EQ(brain.genomes[i].episodes, 10);

  Brain few = RankedBrain(8, 6);
  ASSERT_TRUE(few.Evolve());
  EXPECT_EQ(Ids(few), (std::vector<uint32_t>{9, 10, 3, 4, 5, 6, 7, 8}));
}

TEST(Evolve, NeedsTwoRankedGenomesAndLeavesTheUnrankedAlone) {
  Brain brain = RankedBrain(4, 0);
  for (int i = 0; i < 3; ++i) brain.genomes[i].episodes = 3;  // below MinEpisodesToRank 4
  const uint64_t state = brain.rng.state;
  EXPECT_FALSE(brain.Evolve());
  EXPECT_EQ(brain.rng.state, state);
  EXPECT_EQ(brain.generation, 0u);

  brain.genomes[1].episodes = 4;  // ranked now: indexes 1 (0.2) and 3 (0.4)
  ASSERT_TRUE(brain.Evolve());
  EXPECT_EQ(Ids(brain), (std::vector<uint32_t>{1, 5, 3, 4})) << "the weaker of two is replaced";
}

TEST(Evolve, FollowsTheDrawOrderOfTournamentsCrossoverAndMutation) {
  // Two ranked genomes, tournaments of one, average crossover, Shift mutation: every draw and
  // the child's values can be predicted.
  Brain brain = RankedBrain(2, 0);
  brain.config.tournamentSize = 1;
  brain.config.weightedCrossover = 0;
  brain.config.mutationType = kShift;
  const Network g0 = brain.genomes[0].network, g1 = brain.genomes[1].network;
  Rng predict = brain.rng;
  const size_t ranked[2] = {1, 0};  // fittest first
  const size_t a = ranked[predict.NextU64() % 2];
  size_t b = ranked[predict.NextU64() % 2];
  for (int retry = 0; b == a && retry < 4; ++retry) b = ranked[predict.NextU64() % 2];
  const Network& pa = a == 0 ? g0 : g1;
  const Network& pb = b == 0 ? g0 : g1;
  std::vector<float> w(pa.weights.size()), bias(pa.biases.size());
  for (size_t i = 0; i < w.size(); ++i) w[i] = (pa.weights[i] + pb.weights[i]) * 0.5f;
  for (size_t i = 0; i < bias.size(); ++i) bias[i] = (pa.biases[i] + pb.biases[i]) * 0.5f;
  const size_t offW = predict.NextU64() % (w.size() - 1) + 1;
  const size_t offB = predict.NextU64() % (bias.size() - 1) + 1;

  ASSERT_TRUE(brain.Evolve());
  EXPECT_EQ(brain.rng.state, predict.state);
  const Genome& child = brain.genomes[0];
  EXPECT_EQ(child.network.weights[offW % w.size()], w[0]);
  EXPECT_EQ(child.network.biases[(3 + offB) % bias.size()], bias[3]);
  EXPECT_DOUBLE_EQ(child.fitness, (0.1 * (a + 1) + 0.1 * (b + 1)) * 0.5);
}

TEST(Evolve, AChallengerOfEqualFitnessDoesNotWinTheTournament) {
  // Four ranked genomes, three elites: one child, whose parents come from the two fittest. Those
  // two have equal fitness, so every tournament must be won by its first pick; weighted
  // crossover tells the parents apart (A x alpha + B x (1 - alpha)).
  Brain brain = RankedBrain(4, 3);
  brain.config.tournamentSize = 4;
  brain.config.weightedCrossover = 1;
  brain.config.mutationType = kIncrement;
  brain.config.mutationRate = 0.0f;  // no touch, no draw
  brain.genomes[2].fitness = brain.genomes[3].fitness = 0.9;
  for (size_t g : {size_t{2}, size_t{3}}) {
    std::fill(brain.genomes[g].network.weights.begin(), brain.genomes[g].network.weights.end(),
              static_cast<float>(g));
    std::fill(brain.genomes[g].network.biases.begin(), brain.genomes[g].network.biases.end(),
              static_cast<float>(g));
  }
  const size_t pool[2] = {2, 3};  // fittest first; equals keep their index order
  // The child's first weight when the first pick of every tournament wins, or the last one.
  const auto childWeight = [&](uint64_t state, bool firstPickWins) {
    Rng r{state};
    const auto tournament = [&] {
      size_t c = pool[r.NextU64() % 2];
      for (int t = 1; t < 4; ++t) {
        const size_t d = pool[r.NextU64() % 2];
        if (!firstPickWins) c = d;
      }
      return c;
    };
    const size_t a = tournament();
    size_t b = tournament();
    for (int retry = 0; b == a && retry < 4; ++retry) b = tournament();
    const float alpha = r.NextUnit();
    return static_cast<float>(a) * alpha + static_cast<float>(b) * (1.0f - alpha);
  };
  // A start of the random sequence for which the two rules pick differently.
  uint64_t state = 1;
  while (childWeight(state, true) == childWeight(state, false)) ++state;
  brain.rng.state = state;

  ASSERT_TRUE(brain.Evolve());
  EXPECT_EQ(Ids(brain), (std::vector<uint32_t>{5, 2, 3, 4})) << "the weakest is replaced";
  EXPECT_EQ(brain.genomes[0].network.weights[0], childWeight(state, true));
  EXPECT_EQ(brain.genomes[0].fitness, 0.9);
}

}  // namespace
}  // namespace kvr::tactics
