#include "tactics/brain.h"

#include <algorithm>

namespace kvr::tactics {

BrainConfig MakeBrainConfig(const Settings& s) {
  BrainConfig c;
  c.hiddenLayer1 = s.HiddenLayer1;
  c.hiddenLayer2 = s.HiddenLayer2;
  c.hiddenActivation = static_cast<uint8_t>(std::clamp(s.HiddenActivation, 0, 2));
  c.xavier = s.InitMode == 1 ? 1 : 0;
  c.learningRate = s.LearningRate;
  c.momentum = s.Momentum;
  c.weightDecay = s.L2;
  c.gradientClip = s.GradientClip;
  c.replaySize = s.ReplaySize;
  c.replayPerEpisode = s.ReplayPerEpisode;
  c.exploreStart = s.ExploreStart;
  c.exploreMin = s.ExploreMin;
  c.exploreDecayEpisodes = s.ExploreDecayEpisodes;
  c.population = s.Population;
  c.evolveEvery = s.EvolveEveryEpisodes;
  c.minEpisodesToRank = s.MinEpisodesToRank;
  c.elites = s.Elites;
  c.tournamentSize = s.TournamentSize;
  c.mutationType = static_cast<uint8_t>(std::clamp(s.MutationType, 0, 4));
  c.mutationRate = s.MutationRate;
  c.weightedCrossover = s.CrossoverType > 0 ? 1 : 0;
  return c;
}

NetworkShape ShapeOf(const BrainConfig& c) {
  NetworkShape shape;
  shape.layerSizes.push_back(kInputCount);
  shape.layerSizes.push_back(c.hiddenLayer1);
  if (c.hiddenLayer2 > 0) shape.layerSizes.push_back(c.hiddenLayer2);
  shape.layerSizes.push_back(kStyleCount);
  shape.activations.assign(shape.layerSizes.size() - 1, c.hiddenActivation);
  shape.activations.back() = kSigmoid;
  return shape;
}

Genome Brain::FreshGenome() {
  const NetworkShape shape = ShapeOf(config);
  Genome g;
  g.network.Init(shape.layerSizes, shape.activations, rng, config.xavier != 0);
  g.fitness = 0.5;
  g.episodes = 0;
  g.users = 0;
  g.id = nextGenomeId++;
  g.bornGeneration = static_cast<int32_t>(generation);
  return g;
}

void Brain::Reset(uint64_t seed) {
  rng.state = seed != 0 ? seed : kZeroSeedState;
  genomes.clear();
  replay.clear();
  replayWritePos = 0;
  totalEpisodes = 0;
  generation = 0;
  nextGenomeId = 1;
  averageLoss = 0.0f;
  styleStats = {};
  nonFiniteEpisodes = 0;
  do {
    genomes.push_back(FreshGenome());
  } while (static_cast<int64_t>(genomes.size()) < config.population);
}

bool Brain::Configure(const BrainConfig& newConfig, uint64_t seed) {
  if (genomes.empty() || newConfig.hiddenLayer1 != config.hiddenLayer1 ||
      newConfig.hiddenLayer2 != config.hiddenLayer2) {
    config = newConfig;
    Reset(seed);
    return true;
  }
  const bool activationChanged = newConfig.hiddenActivation != config.hiddenActivation;
  config = newConfig;
  if (activationChanged) {
    Reset(seed);
    return true;
  }
  const size_t target = config.population >= 2 ? static_cast<size_t>(config.population) : 1;
  while (genomes.size() < target) genomes.push_back(FreshGenome());
  while (genomes.size() > target) {
    // min_element keeps the earliest of equal fitness.
    const auto weakest =
        std::min_element(genomes.begin(), genomes.end(),
                         [](const Genome& a, const Genome& b) { return a.fitness < b.fitness; });
    genomes.erase(weakest);
  }
  const size_t keep = static_cast<size_t>(std::max(0, config.replaySize));
  if (keep < replay.size()) {
    replay.resize(keep);
    replayWritePos = 0;
  }
  return false;
}

int32_t Brain::AssignGenome() {
  if (genomes.empty()) return -1;
  size_t best = 0;
  for (size_t i = 1; i < genomes.size(); ++i) {
    const Genome& g = genomes[i];
    const Genome& b = genomes[best];
    if (g.users < b.users || (g.users == b.users && g.episodes < b.episodes)) best = i;
  }
  ++genomes[best].users;
  return static_cast<int32_t>(best);
}

void Brain::ReleaseGenome(int32_t index) {
  if (ValidGenome(index) && genomes[static_cast<size_t>(index)].users > 0)
    --genomes[static_cast<size_t>(index)].users;
}

}  // namespace kvr::tactics
