// Brain: the one learning state of the mod. A population of genomes (each a Network with its
// statistics), the replay memory, the counters the menu shows and the single Rng.
//
// Genomes are referred to by index so that thug records hold no pointers a population change
// could invalidate. The brain is not locked; its owner serialises access (the state lock).
// Every operation that draws from rng documents its draws: the state is saved with the brain.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "settings/settings.h"
#include "tactics/network.h"
#include "tactics/observation.h"

namespace kvr::tactics {

// The NeuralNet settings as the brain uses them. Defaults equal the settings' defaults.
struct BrainConfig {
  int32_t hiddenLayer1 = 16;
  int32_t hiddenLayer2 = 12;  // 0 = no second hidden layer
  uint8_t hiddenActivation = kTanh;
  uint8_t xavier = 1;
  float learningRate = 0.05f;
  float momentum = 0.9f;
  float weightDecay = 0.0001f;
  float gradientClip = 1.0f;
  int32_t replaySize = 512;
  int32_t replayPerEpisode = 6;
  float exploreStart = 0.3f;
  float exploreMin = 0.05f;
  int32_t exploreDecayEpisodes = 600;
  int32_t population = 8;
  int32_t evolveEvery = 48;
  int32_t minEpisodesToRank = 4;
  int32_t elites = 2;
  int32_t tournamentSize = 3;
  uint8_t mutationType = 4;
  float mutationRate = 0.06f;
  uint8_t weightedCrossover = 1;
};

BrainConfig MakeBrainConfig(const Settings& settings);

// Layer sizes [12, h1, h2 (only when above 0), 7]; hidden layers carry the hidden activation,
// the output layer Sigmoid.
struct NetworkShape {
  std::vector<int32_t> layerSizes;
  std::vector<uint8_t> activations;
};
NetworkShape ShapeOf(const BrainConfig& config);

struct Genome {
  Network network;
  double fitness = 0.5;  // smoothed reward of its episodes
  int32_t episodes = 0;  // episodes learnt since it was made
  uint32_t id = 0;       // unique within the brain
  int32_t bornGeneration = 0;
  int32_t users = 0;  // thugs holding it; not saved
};

struct ReplayRecord {
  Observation inputs{};
  uint8_t style = 0;    // 0..6
  float reward = 0.0f;  // already clamped to 0..1
};

struct StyleStats {
  uint64_t episodes = 0;
  double rewardSum = 0.0;
};

// Result of a style decision; the network's outputs are written to the caller's array.
struct StyleChoice {
  int32_t style = 0;
  bool explored = false;
};

struct Brain {
  BrainConfig config;
  std::vector<Genome> genomes;
  std::vector<ReplayRecord> replay;
  uint64_t replayWritePos = 0;
  Rng rng;
  uint64_t totalEpisodes = 0;
  uint32_t generation = 0;
  uint32_t nextGenomeId = 1;
  float averageLoss = 0.0f;
  std::array<StyleStats, kStyleCount> styleStats{};
  // Episodes Learn refused because an input, the reward or the network's answer was not finite
  // (a NaN or infinite game value). Shown by the menu; not saved, 0 after a reset.
  uint64_t nonFiniteEpisodes = 0;

  // Takes a new config. Resets (with seed) when there is no genome yet or the hidden layers or
  // the hidden activation changed; otherwise resizes the population (fresh genomes appended,
  // lowest fitness removed first) and truncates the replay memory to the replay size. True when
  // it reset.
  bool Configure(const BrainConfig& newConfig, uint64_t seed);

  // Fresh population with all counters 0; rng = seed (0 picks a fixed non-zero start).
  void Reset(uint64_t seed);

  // Index of the genome a new thug should use (fewest users, then fewest episodes, then lowest
  // index); -1 without genomes.
  int32_t AssignGenome();
  void ReleaseGenome(int32_t index);

  // One generation of tournament neuroevolution; false (nothing changes) when fewer than two
  // genomes have enough episodes to be ranked.
  bool Evolve();

  // Network decision with exploration. Always draws one NextUnit for a valid genome, plus one
  // index draw when it explores. An invalid index gives style 0 and leaves outputs untouched.
  StyleChoice ChooseStyle(int32_t genome, const Observation& obs,
                          std::array<float, kStyleCount>& outputs);

  // Exploration chance sliding from explore start to explore min over the decay episodes.
  float ExplorationRate() const;

  // Trains the genome on one judged episode plus replayed ones, updates its fitness and the
  // counters, and evolves when due. Returns the episode's training loss (0 when ignored). An
  // episode with a non-finite input or reward, or one the network answers with a non-finite
  // output, changes nothing but nonFiniteEpisodes.
  float Learn(int32_t genome, const Observation& inputs, int32_t style, float reward);

  bool ValidGenome(int32_t index) const {
    return index >= 0 && static_cast<size_t>(index) < genomes.size();
  }

 private:
  Genome FreshGenome();
};

// Start state of a reset asked for with seed 0, so that "no seed" still gives a known sequence.
inline constexpr uint64_t kZeroSeedState = 0x5C1A0CC0D15EA5E5ull;

}  // namespace kvr::tactics
