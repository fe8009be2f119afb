// Training towards one output: the step that replays use must leave a network, and a whole
// brain, bit for bit where a forward pass into a full target followed by Train leaves it.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "tactics/brain.h"

namespace kvr::tactics {
namespace {

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

bool SameNetwork(const Network& a, const Network& b) {
  return SameBits(a.weights, b.weights) && SameBits(a.biases, b.biases) &&
         SameBits(a.weightVelocities, b.weightVelocities) &&
         SameBits(a.biasVelocities, b.biasVelocities);
}

Observation Draw(Rng& rng) {
  Observation o{};
  for (float& v : o) v = rng.NextUnit() * 2.0f - 0.5f;
  return o;
}

// The step as replays ran it before: a forward pass fills the target, one entry is replaced.
float FullTargetStep(Network& net, const Observation& in, int style, float reward,
                     const BrainConfig& c) {
  std::array<float, kStyleCount> target{};
  net.Forward(in, target);
  target[static_cast<size_t>(style)] = reward;
  return net.Train(in, target, c.learningRate, c.momentum, c.weightDecay, c.gradientClip);
}

TEST(TrainOneOutput, MatchesAForwardPassIntoAFullTargetForEveryActivation) {
  for (uint8_t hidden : {kSigmoid, kReLU, kTanh}) {
    BrainConfig c = MakeBrainConfig(Settings{});
    c.hiddenActivation = hidden;
    c.learningRate = 0.2f;  // large steps and a small clip reach the clip and the decay
    c.gradientClip = 0.05f;
    Rng init{31u + hidden};
    Network full;
    ASSERT_TRUE(full.Init(ShapeOf(c).layerSizes, ShapeOf(c).activations, init, true));
    Network one = full;
    Rng draws{7};
    for (int step = 0; step < 400; ++step) {
      const Observation in = Draw(draws);
      const int style = static_cast<int>(draws.NextIndex(kStyleCount));
      const float reward = draws.NextUnit();
      const float lossFull = FullTargetStep(full, in, style, reward, c);
      const float lossOne = one.TrainOneOutput(in, style, reward, c.learningRate, c.momentum,
                                               c.weightDecay, c.gradientClip);
      ASSERT_EQ(std::memcmp(&lossFull, &lossOne, sizeof(float)), 0) << "step " << step;
      ASSERT_TRUE(SameNetwork(full, one)) << "activation " << int(hidden) << ", step " << step;
    }
  }
}

// Learn as it was: the episode's step, the replay record, then each replay through a forward
// pass and a full-target step. Evolution is kept out (the test configures it away).
void LearnWithFullTargets(Brain& brain, int32_t genome, const Observation& in, int32_t style,
                          float reward) {
  Network& net = brain.genomes[static_cast<size_t>(genome)].network;
  const BrainConfig& c = brain.config;
  const float r = reward < 0.0f ? 0.0f : std::min(1.0f, reward);
  FullTargetStep(net, in, style, r, c);
  const ReplayRecord record{in, static_cast<uint8_t>(style), r};
  if (brain.replay.size() >= static_cast<size_t>(c.replaySize)) {
    brain.replay[brain.replayWritePos % brain.replay.size()] = record;
    brain.replayWritePos = (brain.replayWritePos + 1) % brain.replay.size();
  } else {
    brain.replay.push_back(record);
  }
  for (int32_t i = 0; i < c.replayPerEpisode; ++i) {
    const ReplayRecord& pick = brain.replay[brain.rng.PickIndex(brain.replay.size())];
    FullTargetStep(net, pick.inputs, pick.style, pick.reward, c);
  }
}

TEST(TrainOneOutput, BrainsTrainedBothWaysFromOneSeedAreIdentical) {
  BrainConfig c = MakeBrainConfig(Settings{});
  c.replaySize = 64;  // small, so the ring wraps and replays pick old records
  c.evolveEvery = 1 << 30;
  Brain learnt, reference;
  learnt.Configure(c, 2024);
  reference.Configure(c, 2024);
  ASSERT_EQ(learnt.genomes.size(), reference.genomes.size());
  Rng episodes{99};
  for (int e = 0; e < 600; ++e) {
    const auto genome = static_cast<int32_t>(episodes.NextIndex(learnt.genomes.size()));
    const Observation in = Draw(episodes);
    const auto style = static_cast<int32_t>(episodes.NextIndex(kStyleCount));
    const float reward = episodes.NextUnit() * 1.2f - 0.1f;  // some outside 0..1
    learnt.Learn(genome, in, style, reward);
    LearnWithFullTargets(reference, genome, in, style, reward);
  }
  EXPECT_EQ(learnt.rng.state, reference.rng.state);
  EXPECT_EQ(learnt.replayWritePos, reference.replayWritePos);
  for (size_t g = 0; g < learnt.genomes.size(); ++g)
    EXPECT_TRUE(SameNetwork(learnt.genomes[g].network, reference.genomes[g].network))
        << "genome " << g;
}

}  // namespace
}  // namespace kvr::tactics
