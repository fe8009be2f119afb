#include "tactics/network.h"

#include <algorithm>
#include <cmath>

namespace kvr::tactics {

namespace {

float Activate(uint8_t code, float x) {
  switch (code) {
    case kSigmoid:
      return 1.0f / (std::exp(-x) + 1.0f);
    case kReLU:
      return x > 0.0f ? x : 0.0f;
    case kTanh:
      return std::tanh(x);
    default:
      return x;
  }
}

// f'(z) from the pre-activation z and the activation a = f(z). Sigmoid and Tanh derivatives
// are s(1 - s) and 1 - tanh^2; a holds exactly those s and tanh values (same computation), so
// reusing it saves a transcendental call per neuron without changing a bit.
float Derivative(uint8_t code, float z, float a) {
  switch (code) {
    case kSigmoid:
      return a * (1.0f - a);
    case kReLU:
      return z > 0.0f ? 1.0f : 0.0f;
    case kTanh:
      return 1.0f - a * a;
    default:
      return 1.0f;
  }
}

// A NaN change signal (an overflow somewhere in the pass) changes nothing instead of moving the
// weight by the whole clip.
float Clip(float g, float clip) {
  if (std::isnan(g)) return 0.0f;
  return g < -clip ? -clip : std::min(clip, g);
}

// Working vectors of one thread. They only ever grow, so steady use never allocates.
struct ForwardScratch {
  std::vector<float> current;
  std::vector<float> next;
};

struct TrainScratch {
  std::vector<float> a;      // activations of every layer, a[0] = input, layers back to back
  std::vector<float> z;      // pre-activations, same layout (layer 0 unused)
  std::vector<float> delta;  // deltas, same layout (layer 0 unused)
};

ForwardScratch& ThreadForwardScratch() {
  thread_local ForwardScratch scratch;
  return scratch;
}

TrainScratch& ThreadTrainScratch() {
  thread_local TrainScratch scratch;
  return scratch;
}

// One layer: out[j] = f(bias_j + sum_k in[k] * w[j * fanIn + k]), each sum accumulated in
// increasing k. Four neurons run side by side: their sums are independent chains, so the
// interleaving is faster without changing any neuron's order of additions.
void LayerForward(const float* in, int32_t fanIn, int32_t fanOut, const float* w, const float* b,
                  uint8_t code, float* pre, float* out) {
  const size_t n = static_cast<size_t>(fanIn);
  int32_t j = 0;
  for (; j + 4 <= fanOut; j += 4) {
    const float* r0 = w + static_cast<size_t>(j) * n;
    const float* r1 = r0 + n;
    const float* r2 = r1 + n;
    const float* r3 = r2 + n;
    float x0 = b[j], x1 = b[j + 1], x2 = b[j + 2], x3 = b[j + 3];
    for (size_t k = 0; k < n; ++k) {
      const float v = in[k];
      x0 = x0 + v * r0[k];
      x1 = x1 + v * r1[k];
      x2 = x2 + v * r2[k];
      x3 = x3 + v * r3[k];
    }
    const float xs[4] = {x0, x1, x2, x3};
    for (int q = 0; q < 4; ++q) {
      if (pre) pre[j + q] = xs[q];
      out[j + q] = Activate(code, xs[q]);
    }
  }
  for (; j < fanOut; ++j) {
    float x = b[j];
    const float* row = w + static_cast<size_t>(j) * n;
    for (size_t k = 0; k < n; ++k) x = x + in[k] * row[k];
    if (pre) pre[j] = x;
    out[j] = Activate(code, x);
  }
}

}  // namespace

float XavierScale(int32_t fanIn, int32_t fanOut) {
  return std::sqrt(6.0f / static_cast<float>(fanIn + fanOut));
}

size_t TotalWeights(std::span<const int32_t> s) {
  size_t total = 0;
  for (size_t l = 1; l < s.size(); ++l)
    total += static_cast<size_t>(s[l - 1]) * static_cast<size_t>(s[l]);
  return total;
}

size_t TotalBiases(std::span<const int32_t> s) {
  size_t total = 0;
  for (size_t l = 1; l < s.size(); ++l) total += static_cast<size_t>(s[l]);
  return total;
}

bool Network::Init(std::span<const int32_t> sizes, std::span<const uint8_t> codes, Rng& rng,
                   bool xavier) {
  layerSizes.assign(sizes.begin(), sizes.end());
  activations.assign(codes.begin(), codes.end());
  // Negative sizes would turn the totals into huge allocations; refuse them like a bad shape.
  const bool negative = std::any_of(sizes.begin(), sizes.end(), [](int32_t v) { return v < 0; });
  if (sizes.size() < 2 || codes.size() != sizes.size() - 1 || negative) {
    // Left empty, so that nothing takes it for a network of the asked shape.
    *this = Network{};
    return false;
  }
  weights.assign(TotalWeights(sizes), 0.0f);
  biases.assign(TotalBiases(sizes), 0.0f);
  size_t wo = 0, bo = 0;
  for (size_t l = 1; l < sizes.size(); ++l) {
    const int32_t fanIn = sizes[l - 1], fanOut = sizes[l];
    const float scale = xavier ? XavierScale(fanIn, fanOut) : 1.0f;
    const size_t count = static_cast<size_t>(fanIn) * static_cast<size_t>(fanOut);
    for (size_t i = 0; i < count; ++i) weights[wo + i] = rng.NextUnit() * (2.0f * scale) - scale;
    wo += count;
    if (!xavier)
      for (int32_t j = 0; j < fanOut; ++j) biases[bo + j] = rng.NextUnit() * 2.0f - 1.0f;
    bo += static_cast<size_t>(fanOut);
  }
  ZeroVelocities();
  return true;
}

bool Network::Assign(std::vector<int32_t> sizes, std::vector<uint8_t> codes, std::vector<float> w,
                     std::vector<float> b) {
  layerSizes = std::move(sizes);
  activations = std::move(codes);
  weights = std::move(w);
  biases = std::move(b);
  ZeroVelocities();
  if (layerSizes.size() < 2 || activations.size() != layerSizes.size() - 1) return false;
  for (int32_t v : layerSizes)
    if (v < 1) return false;
  return weights.size() == TotalWeights(layerSizes) && biases.size() == TotalBiases(layerSizes);
}

bool Network::Consistent() const {
  if (layerSizes.size() < 2 || activations.size() != layerSizes.size() - 1) return false;
  for (int32_t v : layerSizes)
    if (v < 0) return false;
  return weights.size() == TotalWeights(layerSizes) && biases.size() == TotalBiases(layerSizes);
}

void Network::ZeroVelocities() {
  weightVelocities.assign(weights.size(), 0.0f);
  biasVelocities.assign(biases.size(), 0.0f);
}

void Network::Forward(std::span<const float> input, std::span<float> output) const {
  const size_t L = layerSizes.size();
  if (L < 2) {
    const size_t n = std::min(input.size(), output.size());
    std::copy_n(input.begin(), n, output.begin());
    return;
  }
  ForwardScratch& s = ThreadForwardScratch();
  // Both buffers take every layer in turn (they swap), so both get the widest layer's room.
  const size_t widest =
      static_cast<size_t>(*std::max_element(layerSizes.begin(), layerSizes.end()));
  s.current.reserve(widest);
  s.next.reserve(widest);
  s.current.assign(input.begin(), input.begin() + layerSizes[0]);
  size_t wo = 0, bo = 0;
  for (size_t l = 1; l < L; ++l) {
    const int32_t fanIn = layerSizes[l - 1], fanOut = layerSizes[l];
    s.next.resize(static_cast<size_t>(fanOut));
    LayerForward(s.current.data(), fanIn, fanOut, weights.data() + wo, biases.data() + bo,
                 activations[l - 1], nullptr, s.next.data());
    wo += static_cast<size_t>(fanIn) * static_cast<size_t>(fanOut);
    bo += static_cast<size_t>(fanOut);
    s.current.swap(s.next);
  }
  const size_t n = std::min(output.size(), s.current.size());
  std::copy_n(s.current.begin(), n, output.begin());
}

float Network::Train(std::span<const float> input, std::span<const float> target,
                     float learningRate, float momentum, float weightDecay, float clip) {
  return *TrainStep(input, OutputTarget{target, -1, 0.0f}, learningRate, momentum, weightDecay,
                    clip);
}

float Network::TrainOneOutput(std::span<const float> input, int32_t output, float value,
                              float learningRate, float momentum, float weightDecay, float clip) {
  return *TrainStep(input, OutputTarget{{}, output, value}, learningRate, momentum, weightDecay,
                    clip);
}

std::optional<float> Network::TrainOneOutputIfFinite(std::span<const float> input, int32_t output,
                                                     float value, float learningRate,
                                                     float momentum, float weightDecay,
                                                     float clip) {
  return TrainStep(input, OutputTarget{{}, output, value, true}, learningRate, momentum,
                   weightDecay, clip);
}

std::optional<float> Network::TrainStep(std::span<const float> input, const OutputTarget& target,
                                        float learningRate, float momentum, float weightDecay,
                                        float clip) {
  const size_t L = layerSizes.size();
  if (L < 2) return 0.0f;
  TrainScratch& s = ThreadTrainScratch();
  size_t neurons = 0;
  for (int32_t v : layerSizes) neurons += static_cast<size_t>(v);
  s.a.resize(neurons);
  s.z.resize(neurons);
  s.delta.resize(neurons);

  // Forward, keeping every layer's pre-activations and activations.
  std::copy_n(input.begin(), layerSizes[0], s.a.begin());
  size_t ao = 0, wo = 0, bo = 0;
  for (size_t l = 1; l < L; ++l) {
    const int32_t fanIn = layerSizes[l - 1], fanOut = layerSizes[l];
    const size_t next = ao + static_cast<size_t>(fanIn);
    LayerForward(s.a.data() + ao, fanIn, fanOut, weights.data() + wo, biases.data() + bo,
                 activations[l - 1], s.z.data() + next, s.a.data() + next);
    ao = next;
    wo += static_cast<size_t>(fanIn) * static_cast<size_t>(fanOut);
    bo += static_cast<size_t>(fanOut);
  }

  // ao is now the output layer's offset.
  if (target.finiteOnly) {
    for (int32_t j = 0; j < layerSizes[L - 1]; ++j)
      if (!std::isfinite(s.a[ao + j])) return std::nullopt;
  }

  // Output deltas and the loss.
  float loss = 0.0f;
  const uint8_t outCode = activations[L - 2];
  for (int32_t j = 0; j < layerSizes[L - 1]; ++j) {
    const float e = s.a[ao + j] - target.At(j, s.a[ao + j]);
    loss = loss + 0.5f * e * e;
    s.delta[ao + j] = e * Derivative(outCode, s.z[ao + j], s.a[ao + j]);
  }

  // Hidden deltas from the layer above, with the weights as they were before this step.
  size_t upperA = ao;  // offset of layer l + 1 in the neuron arrays
  size_t upperW = wo;  // offset of layer l + 1's weight block
  for (size_t l = L - 2; l >= 1; --l) {
    const int32_t n = layerSizes[l], up = layerSizes[l + 1];
    upperW -= static_cast<size_t>(n) * static_cast<size_t>(up);
    const size_t here = upperA - static_cast<size_t>(n);
    for (int32_t j = 0; j < n; ++j) {
      float sum = 0.0f;
      for (int32_t k = 0; k < up; ++k)
        sum = sum + s.delta[upperA + k] * weights[upperW + static_cast<size_t>(k) * n + j];
      s.delta[here + j] = sum * Derivative(activations[l - 1], s.z[here + j], s.a[here + j]);
    }
    upperA = here;
  }

  if (weightVelocities.size() != weights.size()) weightVelocities.assign(weights.size(), 0.0f);
  if (biasVelocities.size() != biases.size()) biasVelocities.assign(biases.size(), 0.0f);

  // Update, layer by layer, neuron by neuron: weights first, then the neuron's bias.
  ao = 0, wo = 0, bo = 0;
  for (size_t l = 1; l < L; ++l) {
    const int32_t fanIn = layerSizes[l - 1], fanOut = layerSizes[l];
    const size_t here = ao + static_cast<size_t>(fanIn);
    for (int32_t j = 0; j < fanOut; ++j) {
      const float d = s.delta[here + j];
      for (int32_t k = 0; k < fanIn; ++k) {
        const size_t i = wo + static_cast<size_t>(j) * static_cast<size_t>(fanIn) + k;
        const float g = s.a[ao + k] * d + weightDecay * weights[i];
        const float v = momentum * weightVelocities[i] - learningRate * Clip(g, clip);
        weightVelocities[i] = v;
        weights[i] = weights[i] + v;
      }
      const size_t bi = bo + static_cast<size_t>(j);
      const float vb = momentum * biasVelocities[bi] - learningRate * Clip(d, clip);
      biasVelocities[bi] = vb;
      biases[bi] = biases[bi] + vb;
    }
    ao = here;
    wo += static_cast<size_t>(fanIn) * static_cast<size_t>(fanOut);
    bo += static_cast<size_t>(fanOut);
  }
  return loss;
}

}  // namespace kvr::tactics
