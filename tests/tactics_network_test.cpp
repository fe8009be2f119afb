// Rng (splitmix64) and Network: reference outputs, draw counts, the weight layout, forward
// values worked by hand and single training steps.
#include <gtest/gtest.h>

#include <cmath>

#include "splitmix_support.h"
#include "tactics/network.h"

namespace kvr::tactics {
namespace {

using test::kGolden;

// splitmix64 advances its state by a constant per draw, so the state tells how many draws ran.
uint64_t StateAfter(uint64_t start, uint64_t draws) {
  return start + draws * kGolden;
}

TEST(Rng, MatchesPublishedSplitmix64Outputs) {
  Rng rng{0};
  EXPECT_EQ(rng.NextU64(), 0xE220A8397B1DCDAFull);
  EXPECT_EQ(rng.NextU64(), 0x6E789E6AA1B965F4ull);
  EXPECT_EQ(rng.NextU64(), 0x06C45D188009454Full);
  EXPECT_EQ(rng.NextU64(), 0xF88BB8A8724C81ECull);
  EXPECT_EQ(rng.NextU64(), 0x1B39896A51A8749Bull);
}

TEST(Rng, UnitIsTheTop24BitsAndIndexDrawsFollowTheirRules) {
  Rng rng{0};
  EXPECT_EQ(rng.NextUnit(), static_cast<float>(0xE220A8 / 16777216.0));
  Rng a{0};
  EXPECT_EQ(a.NextIndex(7), 0xE220A8397B1DCDAFull % 7);
  Rng b{42};
  EXPECT_EQ(b.PickIndex(1), 0u);
  EXPECT_EQ(b.state, 42u) << "an index below 1 costs no draw";
  EXPECT_EQ(b.PickIndex(2), Rng{42}.NextU64() % 2);
  // Every unit lies in [0, 1).
  Rng c{7};
  for (int i = 0; i < 10000; ++i) {
    const float u = c.NextUnit();
    ASSERT_GE(u, 0.0f);
    ASSERT_LT(u, 1.0f);
  }
}

const std::vector<int32_t> kDefaultSizes{12, 16, 12, 7};
const std::vector<uint8_t> kDefaultCodes{kTanh, kTanh, kSigmoid};

TEST(Network, DefaultShapeTotalsAndXavierScales) {
  EXPECT_EQ(TotalWeights(kDefaultSizes), 468u);
  EXPECT_EQ(TotalBiases(kDefaultSizes), 35u);
  EXPECT_FLOAT_EQ(XavierScale(12, 16), 0.46291006f);
  EXPECT_FLOAT_EQ(XavierScale(16, 12), 0.46291006f);
  EXPECT_FLOAT_EQ(XavierScale(12, 7), 0.56195146f);
}

TEST(Network, XavierInitDrawsOnlyWeightsInLayerOrder) {
  Rng rng{123};
  Network net;
  ASSERT_TRUE(net.Init(kDefaultSizes, kDefaultCodes, rng, true));
  EXPECT_EQ(rng.state, StateAfter(123, 468));
  for (float b : net.biases) EXPECT_EQ(b, 0.0f);
  EXPECT_EQ(net.weightVelocities.size(), 468u);
  EXPECT_EQ(net.biasVelocities.size(), 35u);

  // Weight 192 is the first of layer 2 (12 x 16 before it), weight 384 the first of layer 3.
  Rng replay{123};
  std::vector<float> units(468);
  for (float& u : units) u = replay.NextUnit();
  const float s1 = XavierScale(12, 16), s3 = XavierScale(12, 7);
  EXPECT_EQ(net.weights[0], units[0] * (2.0f * s1) - s1);
  EXPECT_EQ(net.weights[192], units[192] * (2.0f * s1) - s1);
  EXPECT_EQ(net.weights[384], units[384] * (2.0f * s3) - s3);
  for (float w : net.weights) {
    EXPECT_GE(w, -s3);
    EXPECT_LT(w, s3);
  }
}

TEST(Network, UniformInitInterleavesWeightAndBiasDraws) {
  Rng rng{5};
  Network net;
  ASSERT_TRUE(net.Init(kDefaultSizes, kDefaultCodes, rng, false));
  EXPECT_EQ(rng.state, StateAfter(5, 468 + 35));
  Rng replay{5};
  std::vector<float> units(503);
  for (float& u : units) u = replay.NextUnit();
  EXPECT_EQ(net.weights[191], units[191] * 2.0f - 1.0f);
  EXPECT_EQ(net.biases[0], units[192] * 2.0f - 1.0f);     // layer 1 biases follow its weights
  EXPECT_EQ(net.weights[192], units[208] * 2.0f - 1.0f);  // then layer 2's weights
  EXPECT_EQ(net.biases[34], units[502] * 2.0f - 1.0f);
}

TEST(Network, InitAndAssignRejectBadShapes) {
  Rng rng{1};
  Network net;
  EXPECT_FALSE(net.Init(std::vector<int32_t>{12}, std::vector<uint8_t>{}, rng, true));
  EXPECT_FALSE(net.Init(kDefaultSizes, std::vector<uint8_t>{kTanh}, rng, true));
  EXPECT_FALSE(net.Init(std::vector<int32_t>{12, -3, 7}, std::vector<uint8_t>{0, 0}, rng, true));
  EXPECT_EQ(rng.state, 1u);

  std::vector<float> w(468, 0.25f), b(35, 0.5f);
  EXPECT_TRUE(net.Assign(kDefaultSizes, kDefaultCodes, w, b));
  EXPECT_EQ(net.weightVelocities, std::vector<float>(468, 0.0f));
  EXPECT_FALSE(net.Assign(kDefaultSizes, kDefaultCodes, std::vector<float>(467), b));
  EXPECT_FALSE(net.Assign(kDefaultSizes, kDefaultCodes, w, std::vector<float>(36)));
  EXPECT_FALSE(net.Assign({12, 0, 7}, {0, 0}, {}, std::vector<float>(7)));
  EXPECT_FALSE(net.Assign({12, 7}, {0, 0}, std::vector<float>(84), std::vector<float>(7)));
}

TEST(Network, ForwardFollowsTheRowMajorLayoutAndActivations) {
  // 2 -> 2 (ReLU) -> 1 (identity code 3).
  Network net;
  ASSERT_TRUE(net.Assign({2, 2, 1}, {kReLU, 3}, {0.5f, -0.25f, -1.0f, 0.0f, 2.0f, 3.0f},
                         {0.1f, 0.2f, -0.5f}));
  const float in[2] = {1.0f, 2.0f};
  float out[1] = {};
  net.Forward(in, out);
  // h0 = relu(0.1 + 0.5 - 0.5) = 0.1; h1 = relu(0.2 - 1) = 0; out = -0.5 + 2 * 0.1 + 3 * 0.
  EXPECT_FLOAT_EQ(out[0], -0.3f);

  Network sig;
  ASSERT_TRUE(sig.Assign({1, 2}, {kSigmoid}, {1.0f, 0.0f}, {0.0f, 0.0f}));
  float s[2];
  const float two[1] = {2.0f};
  sig.Forward(two, s);
  EXPECT_FLOAT_EQ(s[0], 1.0f / (std::exp(-2.0f) + 1.0f));
  EXPECT_FLOAT_EQ(s[1], 0.5f);

  Network th;
  ASSERT_TRUE(th.Assign({1, 1}, {kTanh}, {0.5f}, {0.0f}));
  th.Forward(two, s);
  EXPECT_FLOAT_EQ(s[0], std::tanh(1.0f));
}

TEST(Network, EdgeShapesForward) {
  // A layer without inputs outputs f(bias).
  Rng rng{9};
  Network empty;
  ASSERT_TRUE(empty.Init(std::vector<int32_t>{0, 2}, std::vector<uint8_t>{kSigmoid}, rng, false));
  float out[2];
  empty.Forward({}, out);
  EXPECT_FLOAT_EQ(out[0], 1.0f / (std::exp(-empty.biases[0]) + 1.0f));
  EXPECT_FLOAT_EQ(out[1], 1.0f / (std::exp(-empty.biases[1]) + 1.0f));
  // Without layers the output is the input.
  Network none;
  const float in[2] = {3.0f, 4.0f};
  none.Forward(in, out);
  EXPECT_EQ(out[0], 3.0f);
  EXPECT_EQ(out[1], 4.0f);
}

// 1 -> 1 identity network with weight w and bias b.
Network Identity(float w, float b) {
  Network net;
  EXPECT_TRUE(net.Assign({1, 1}, {3}, {w}, {b}));
  return net;
}

TEST(Network, TrainClipsTheChangeSignalBeforeTheLearningRate) {
  // Output 0 against target -1: e = 1, delta = 1, g = input 5 x 1 = 5, clipped to 1.
  Network net = Identity(0.0f, 0.0f);
  const float in[1] = {5.0f}, target[1] = {-1.0f};
  EXPECT_FLOAT_EQ(net.Train(in, target, 0.05f, 0.9f, 0.0f, 1.0f), 0.5f);
  EXPECT_EQ(net.weights[0], -0.05f);
  EXPECT_EQ(net.biases[0], -0.05f);
  EXPECT_EQ(net.weightVelocities[0], -0.05f);
  // Second step: the velocity carries over (0.9 x -0.05) plus the new clipped step.
  net.Train(in, target, 0.05f, 0.9f, 0.0f, 1.0f);
  const float v = 0.9f * -0.05f - 0.05f * 1.0f;
  EXPECT_EQ(net.weights[0], -0.05f + v);
}

TEST(Network, PlainGradientStepAndWeightDecay) {
  Network net = Identity(0.5f, 0.0f);
  const float in[1] = {0.5f}, target[1] = {0.0f};
  // out = 0.25, e = 0.25, g = 0.5 x 0.25 = 0.125 (below the clip), no momentum, no decay.
  net.Train(in, target, 0.1f, 0.0f, 0.0f, 1.0f);
  EXPECT_FLOAT_EQ(net.weights[0], 0.5f - 0.1f * 0.125f);
  EXPECT_FLOAT_EQ(net.biases[0], -0.1f * 0.25f);

  Network decayed = Identity(0.5f, 0.0f);
  decayed.Train(in, target, 0.1f, 0.0f, 0.01f, 1.0f);
  EXPECT_FLOAT_EQ(decayed.weights[0], 0.5f - 0.1f * (0.125f + 0.01f * 0.5f));
  EXPECT_FLOAT_EQ(decayed.biases[0], -0.1f * 0.25f) << "no decay on biases";

  // A negative change signal is clipped at -clip.
  Network neg = Identity(0.0f, 0.0f);
  const float big[1] = {10.0f}, up[1] = {1.0f};
  neg.Train(big, up, 0.05f, 0.0f, 0.0f, 1.0f);
  EXPECT_EQ(neg.weights[0], 0.05f);
}

TEST(Network, LossOfSevenOutputsWithOneOffByPointTwo) {
  Rng rng{77};
  Network net;
  ASSERT_TRUE(net.Init(kDefaultSizes, kDefaultCodes, rng, true));
  float in[12];
  for (int i = 0; i < 12; ++i) in[i] = 0.1f * static_cast<float>(i);
  float target[7];
  net.Forward(in, target);
  target[3] += 0.2f;
  EXPECT_NEAR(net.Train(in, target, 0.05f, 0.9f, 0.0001f, 1.0f), 0.02f, 1e-6f);
}

// Loss of the network as a function of one weight, for a finite-difference check.
double LossAt(Network net, size_t index, float value, const float* in, const float* target) {
  net.weights[index] = value;
  float out[2];
  net.Forward(std::span<const float>(in, 3), out);
  double loss = 0.0;
  for (int j = 0; j < 2; ++j) loss += 0.5 * (out[j] - target[j]) * (out[j] - target[j]);
  return loss;
}

TEST(Network, HiddenLayerGradientsMatchFiniteDifferences) {
  Rng rng{2024};
  Network net;
  ASSERT_TRUE(net.Init(std::vector<int32_t>{3, 4, 3, 2},
                       std::vector<uint8_t>{kTanh, kSigmoid, kSigmoid}, rng, false));
  const float in[3] = {0.3f, -0.7f, 0.9f}, target[2] = {0.9f, 0.1f};
  const float lr = 1e-3f;
  for (size_t index : {0u, 5u, 11u, 13u, 20u, 27u, 29u}) {
    Network copy = net;
    copy.Train(in, target, lr, 0.0f, 0.0f, 100.0f);
    const double gradient = (net.weights[index] - copy.weights[index]) / lr;
    const float w = net.weights[index], h = 1e-2f;
    const double numeric =
        (LossAt(net, index, w + h, in, target) - LossAt(net, index, w - h, in, target)) / (2.0 * h);
    EXPECT_NEAR(gradient, numeric, 2e-3 + 0.02 * std::fabs(numeric)) << "weight " << index;
  }
}

}  // namespace
}  // namespace kvr::tactics

namespace kvr::tactics {
namespace {

// Straight from the layout: bias, then inputs in increasing order, one neuron at a time.
std::vector<float> ReferenceForward(const Network& net, std::vector<float> current) {
  size_t wo = 0, bo = 0;
  for (size_t l = 1; l < net.layerSizes.size(); ++l) {
    const size_t fanIn = static_cast<size_t>(net.layerSizes[l - 1]);
    std::vector<float> next(static_cast<size_t>(net.layerSizes[l]));
    for (size_t j = 0; j < next.size(); ++j) {
      float x = net.biases[bo + j];
      for (size_t k = 0; k < fanIn; ++k) x = x + current[k] * net.weights[wo + j * fanIn + k];
      const uint8_t code = net.activations[l - 1];
      next[j] = code == kSigmoid ? 1.0f / (std::exp(-x) + 1.0f)
                : code == kTanh  ? std::tanh(x)
                : code == kReLU  ? (x > 0.0f ? x : 0.0f)
                                 : x;
    }
    wo += fanIn * next.size();
    bo += next.size();
    current = std::move(next);
  }
  return current;
}

TEST(Network, ForwardIsBitExactWithTheLayoutOrder) {
  for (const auto& sizes : {std::vector<int32_t>{12, 16, 12, 7}, std::vector<int32_t>{12, 5, 7},
                            std::vector<int32_t>{12, 7}, std::vector<int32_t>{3, 9, 2}}) {
    Rng rng{sizes.size() * 1000 + sizes[1]};
    std::vector<uint8_t> codes(sizes.size() - 1, kReLU);
    codes[0] = kTanh;
    codes.back() = kSigmoid;
    Network net;
    ASSERT_TRUE(net.Init(sizes, codes, rng, false));
    std::vector<float> in(static_cast<size_t>(sizes[0]));
    for (float& v : in) v = rng.NextUnit() * 4.0f - 2.0f;
    std::vector<float> out(static_cast<size_t>(sizes.back()));
    net.Forward(in, out);
    EXPECT_EQ(out, ReferenceForward(net, in)) << sizes[1];
  }
}

}  // namespace
}  // namespace kvr::tactics
