#include <algorithm>
#include <cmath>
#include <limits>

#include "tactics/brain.h"

namespace kvr::tactics {

namespace {

// Networks always have the system's 12 -> 7 shape (built from the config or checked on load);
// this guard keeps a malformed one (an Init that failed, a damaged copy) away from Forward and
// from the fixed-size arrays.
bool SystemShape(const Network& net) {
  return net.Consistent() && net.InputCount() == kInputCount && net.OutputCount() == kStyleCount;
}

template <size_t N>
bool AllFinite(const std::array<float, N>& values) {
  return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

}  // namespace

float Brain::ExplorationRate() const {
  const int32_t d = config.exploreDecayEpisodes >= 2 ? config.exploreDecayEpisodes : 1;
  const float t = static_cast<float>(totalEpisodes) / static_cast<float>(d);
  const float rate =
      config.exploreStart + (config.exploreMin - config.exploreStart) * std::min(1.0f, t);
  return std::max(rate, config.exploreMin);
}

StyleChoice Brain::ChooseStyle(int32_t genome, const Observation& obs,
                               std::array<float, kStyleCount>& outputs) {
  StyleChoice choice;
  if (!ValidGenome(genome) || !SystemShape(genomes[static_cast<size_t>(genome)].network))
    return choice;
  genomes[static_cast<size_t>(genome)].network.Forward(obs, outputs);
  const float u = rng.NextUnit();  // drawn whether or not it explores
  if (ExplorationRate() > u) {
    choice.explored = true;
    choice.style = static_cast<int32_t>(rng.NextIndex(kStyleCount));
  } else {
    // max_element returns the first of equal maxima: the lowest style index.
    choice.style =
        static_cast<int32_t>(std::max_element(outputs.begin(), outputs.end()) - outputs.begin());
  }
  return choice;
}

float Brain::Learn(int32_t genome, const Observation& inputs, int32_t style, float reward) {
  if (!ValidGenome(genome) || style < 0 || style >= kStyleCount) return 0.0f;
  Genome& g = genomes[static_cast<size_t>(genome)];
  Network& net = g.network;
  if (!SystemShape(net)) return 0.0f;
  // One NaN or infinite game value would turn every output and every change signal of the
  // network into NaN, and the record would spread it through the replay memory and the file.
  // Such an episode teaches nothing; it is only counted. So is one the network itself answers
  // non-finitely (a damaged brain), which the step's own forward pass finds before it changes
  // anything.
  if (!AllFinite(inputs) || !std::isfinite(reward)) {
    ++nonFiniteEpisodes;
    return 0.0f;
  }
  const float r = reward < 0.0f ? 0.0f : std::min(1.0f, reward);

  // Only the chosen style's output is pulled towards the reward.
  const std::optional<float> step =
      net.TrainOneOutputIfFinite(inputs, style, r, config.learningRate, config.momentum,
                                 config.weightDecay, config.gradientClip);
  if (!step) {
    ++nonFiniteEpisodes;
    return 0.0f;
  }
  const float loss = *step;
  if (std::isfinite(loss))
    averageLoss = totalEpisodes == 0 ? loss : averageLoss * 0.98f + 0.02f * loss;

  if (config.replaySize >= 1) {
    const ReplayRecord record{inputs, static_cast<uint8_t>(style), r};
    if (replay.size() >= static_cast<size_t>(config.replaySize)) {
      replay[replayWritePos % replay.size()] = record;
      replayWritePos = (replayWritePos + 1) % replay.size();
    } else {
      replay.push_back(record);
    }
    for (int32_t i = 0; i < config.replayPerEpisode && !replay.empty(); ++i) {
      // Only the replayed style's output is pulled; the step's own forward pass supplies the
      // others' targets, so no separate pass is run for them.
      const ReplayRecord& pick = replay[rng.PickIndex(replay.size())];
      net.TrainOneOutput(pick.inputs, pick.style, pick.reward, config.learningRate, config.momentum,
                         config.weightDecay, config.gradientClip);
    }
  }

  // The plain mean of the first 20 rewards, then exponential smoothing. A count read from a
  // damaged file may be negative or at the limit: it smooths and saturates instead of
  // dividing by zero or overflowing.
  const int32_t n = g.episodes;
  const double a = (n >= 0 && n < 19) ? 1.0 / static_cast<double>(n + 1) : 0.05;
  g.episodes = n < std::numeric_limits<int32_t>::max() ? n + 1 : n;
  g.fitness = g.fitness + (static_cast<double>(r) - g.fitness) * a;

  StyleStats& st = styleStats[static_cast<size_t>(style)];
  ++st.episodes;
  st.rewardSum += static_cast<double>(r);
  ++totalEpisodes;

  if (config.population >= 2 && config.evolveEvery >= 1 &&
      totalEpisodes % static_cast<uint64_t>(config.evolveEvery) == 0)
    Evolve();
  return loss;
}

}  // namespace kvr::tactics
