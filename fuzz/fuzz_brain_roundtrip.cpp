// libFuzzer target: the values the brain loader decodes. Whatever loads must hold only values
// the mod can have written (finite weights and fitness, episode counts below 2^31, replay
// inputs within the observation range and rewards in 0..1), must save, and must load again to
// the very same brain. The checksum is made to fit so that mutations reach the values.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "persistence/brain_file.h"

namespace {

using kvr::tactics::Brain;

Brain Template(int population) {
  Brain b;
  kvr::tactics::BrainConfig config;
  config.population = population;  // fewer or more than most files: loading fits the count
  config.replaySize = 64;
  b.Configure(config, 1);
  return b;
}

void CheckValues(const Brain& brain) {
  for (const auto& g : brain.genomes) {
    if (!std::isfinite(g.fitness) || g.episodes < 0 || !g.network.Consistent()) std::abort();
    for (float w : g.network.weights)
      if (!std::isfinite(w)) std::abort();
    for (float b : g.network.biases)
      if (!std::isfinite(b)) std::abort();
  }
  for (const auto& r : brain.replay) {
    if (!(r.reward >= 0.0f && r.reward <= 1.0f) || r.style >= kvr::tactics::kStyleCount)
      std::abort();
    for (float v : r.inputs)
      if (!(std::fabs(v) <= 1.5f)) std::abort();
  }
  if (!std::isfinite(brain.averageLoss)) std::abort();
  if (!brain.replay.empty() && brain.replayWritePos >= brain.replay.size()) std::abort();
}

void RoundTrip(const std::string& bytes, const Brain& templ) {
  Brain first = templ;
  std::string error;
  if (!kvr::persistence::ParseBrainFile(bytes, first, error)) return;
  CheckValues(first);
  const std::string saved = kvr::persistence::BuildBrainImage(first);
  Brain second = templ;
  if (!kvr::persistence::ParseBrainFile(saved, second, error)) std::abort();
  if (kvr::persistence::BuildBrainImage(second) != saved) std::abort();
  if (second.nonFiniteEpisodes != first.nonFiniteEpisodes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Brain fewer = Template(3), more = Template(12);
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.size() >= 4) {
    const uint32_t crc =
        kvr::persistence::Crc32(std::string_view(bytes).substr(0, bytes.size() - 4));
    for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<char>(crc >> (8 * i));
  }
  RoundTrip(bytes, fewer);
  RoundTrip(bytes, more);
  return 0;
}
