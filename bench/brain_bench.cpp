// Costs of the learning path at the default shape (12-16-12-7, 8 genomes, replay 512).
#include <benchmark/benchmark.h>

#include <string>

#include "persistence/brain_file.h"
#include "tactics/brain.h"

namespace {

using kvr::tactics::Brain;
using kvr::tactics::Observation;

Brain DefaultBrain() {
  Brain brain;
  brain.Configure(kvr::tactics::MakeBrainConfig(kvr::Settings{}), 42);
  return brain;
}

Observation Inputs(int i) {
  Observation o{};
  for (int k = 0; k < kvr::tactics::kInputCount; ++k)
    o[k] = 0.01f * static_cast<float>((i * 7 + k * 13) % 100);
  return o;
}

void BM_Forward(benchmark::State& state) {
  const Brain brain = DefaultBrain();
  const Observation in = Inputs(1);
  std::array<float, kvr::tactics::kStyleCount> out;
  for (auto _ : state) {
    brain.genomes[0].network.Forward(in, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_Forward);

void BM_Train(benchmark::State& state) {
  Brain brain = DefaultBrain();
  const Observation in = Inputs(2);
  std::array<float, kvr::tactics::kStyleCount> target{0.1f, 0.9f, 0.5f, 0.5f, 0.2f, 0.7f, 0.3f};
  for (auto _ : state)
    benchmark::DoNotOptimize(
        brain.genomes[0].network.Train(in, target, 0.05f, 0.9f, 0.0001f, 1.0f));
}
BENCHMARK(BM_Train);

// One episode end: the episode's step plus 6 replays from a full memory (no evolution).
void BM_LearnWith6Replays(benchmark::State& state) {
  Brain brain = DefaultBrain();
  brain.config.evolveEvery = 1 << 30;
  for (int i = 0; i < 512; ++i) brain.Learn(i % 8, Inputs(i), i % 7, 0.5f);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(brain.Learn(i % 8, Inputs(i), i % 7, 0.6f));
    ++i;
  }
}
BENCHMARK(BM_LearnWith6Replays);

void BM_Evolve8Genomes(benchmark::State& state) {
  Brain brain = DefaultBrain();
  for (size_t g = 0; g < brain.genomes.size(); ++g) {
    brain.genomes[g].episodes = 10;
    brain.genomes[g].fitness = 0.1 * static_cast<double>(g);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(brain.Evolve());
    // Children start unranked; rank them again so every iteration evolves a full generation.
    for (auto& g : brain.genomes) g.episodes = 10;
  }
}
BENCHMARK(BM_Evolve8Genomes);

Brain FullBrain() {
  Brain brain = DefaultBrain();
  brain.replay.resize(512);
  for (size_t i = 0; i < 512; ++i) brain.replay[i].inputs = Inputs(static_cast<int>(i));
  return brain;
}

void BM_BuildBrainImage(benchmark::State& state) {
  const Brain brain = FullBrain();
  for (auto _ : state) {
    std::string img = kvr::persistence::BuildBrainImage(brain);
    benchmark::DoNotOptimize(img.data());
  }
  state.SetBytesProcessed(state.iterations() * 43651);
}
BENCHMARK(BM_BuildBrainImage);

void BM_ParseBrainImage(benchmark::State& state) {
  const std::string img = kvr::persistence::BuildBrainImage(FullBrain());
  const Brain fresh = DefaultBrain();
  std::string error;
  for (auto _ : state) {
    kvr::persistence::BrainImage decoded;
    benchmark::DoNotOptimize(kvr::persistence::DecodeBrainImage(img, nullptr, decoded, error));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(img.size()));
}
BENCHMARK(BM_ParseBrainImage);

// The loader's whole in-memory path: decode, install and fit to the config.
void BM_ParseAndInstallBrainImage(benchmark::State& state) {
  const std::string img = kvr::persistence::BuildBrainImage(FullBrain());
  const Brain fresh = DefaultBrain();
  std::string error;
  for (auto _ : state) {
    Brain brain = fresh;
    benchmark::DoNotOptimize(kvr::persistence::ParseBrainFile(img, brain, error));
  }
}
BENCHMARK(BM_ParseAndInstallBrainImage);

}  // namespace
