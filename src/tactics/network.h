// Network: the small fully connected feed-forward net that every genome owns.
//
// Layout (shared with the brain file and the evolution operators, so it is binding): layer l
// (1..L-1) owns s[l-1] x s[l] weights and s[l] biases, blocks stored in layer order. The weight
// from neuron k of layer l-1 into neuron j of layer l is weights[woff(l) + j * s[l-1] + k]
// (row-major by receiving neuron); its bias is biases[boff(l) + j].
//
// Everything is float32. Forward and Train keep their working vectors in per-thread scratch
// that keeps its capacity, so after the first call on a thread neither pass allocates.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tactics/rng.h"

namespace kvr::tactics {

// Activation codes as stored in the brain file. Any other code acts as the identity.
enum Activation : uint8_t { kSigmoid = 0, kReLU = 1, kTanh = 2 };

// Xavier/Glorot uniform bound sqrt(6 / (fanIn + fanOut)), computed in float32.
float XavierScale(int32_t fanIn, int32_t fanOut);

// Totals for a shape; 0 for a shape with fewer than two layers.
size_t TotalWeights(std::span<const int32_t> layerSizes);
size_t TotalBiases(std::span<const int32_t> layerSizes);

struct Network {
  std::vector<int32_t> layerSizes;   // L entries: inputs, hidden layers, outputs
  std::vector<uint8_t> activations;  // L - 1 entries, one per non-input layer
  std::vector<float> weights;
  std::vector<float> biases;
  std::vector<float> weightVelocities;  // momentum buffers; never saved
  std::vector<float> biasVelocities;

  // Fresh random network. Draw order: layer 1 weights, layer 1 biases (only without xavier),
  // layer 2 weights, ... False (nothing drawn, the network left empty) when L < 2, the
  // activation count is not L - 1 or a layer size is negative.
  bool Init(std::span<const int32_t> sizes, std::span<const uint8_t> codes, Rng& rng, bool xavier);

  // Installs loaded vectors; velocities become 0. False when the shape is invalid (L < 2, wrong
  // activation count, a layer below 1) or the vectors do not match its totals.
  bool Assign(std::vector<int32_t> sizes, std::vector<uint8_t> codes, std::vector<float> w,
              std::vector<float> b);

  // True when the vectors fit the shape (L >= 2, L - 1 activations, no negative layer, the
  // totals of weights and biases): the only networks Forward and Train may be given.
  bool Consistent() const;

  int32_t InputCount() const { return layerSizes.empty() ? 0 : layerSizes.front(); }
  int32_t OutputCount() const { return layerSizes.empty() ? 0 : layerSizes.back(); }

  // Inference. input holds InputCount() values (not checked). Writes the first
  // min(output.size(), OutputCount()) outputs; with L < 2 the output is a copy of the input.
  void Forward(std::span<const float> input, std::span<float> output) const;

  // One backpropagation step of the squared error towards target, with momentum, L2 decay on
  // the weights and a clip of each change signal. Returns the loss before the update.
  float Train(std::span<const float> input, std::span<const float> target, float learningRate,
              float momentum, float weightDecay, float clip);

  // The same step as Train with a target that equals the network's own outputs except
  // target[output] = value: the other outputs' errors are exactly zero. Bit for bit what
  // Forward into a target, setting one entry and Train would do, without the extra pass.
  float TrainOneOutput(std::span<const float> input, int32_t output, float value,
                       float learningRate, float momentum, float weightDecay, float clip);

  // TrainOneOutput on a network that must answer finitely: when an output of the step's own
  // forward pass is NaN or infinite, nothing changes and the answer is empty; otherwise the
  // step's loss. Saves the separate forward pass a caller would run to check the answer.
  std::optional<float> TrainOneOutputIfFinite(std::span<const float> input, int32_t output,
                                              float value, float learningRate, float momentum,
                                              float weightDecay, float clip);

  void ZeroVelocities();

 private:
  // What one output is trained towards: target[j] when a whole target is given, otherwise
  // `value` for output `index` and the output's own value (a zero error) for the others.
  struct OutputTarget {
    std::span<const float> target;
    int32_t index = -1;
    float value = 0.0f;
    bool finiteOnly = false;  // no step when the forward pass answers non-finite
    float At(int32_t j, float own) const {
      if (!target.empty()) return target[static_cast<size_t>(j)];
      return j == index ? value : own;
    }
  };
  // The loss before the update; empty, with nothing changed, when the target asks for finite
  // outputs and the forward pass gave another.
  std::optional<float> TrainStep(std::span<const float> input, const OutputTarget& target,
                                 float learningRate, float momentum, float weightDecay, float clip);
};

}  // namespace kvr::tactics
