#include <algorithm>
#include <cmath>

#include "tactics/brain.h"
#include "tactics/evolution.h"

namespace kvr::tactics {

namespace {

// k touches of the form "u, then an index draw": v[idx] = op(v[idx], u).
template <typename Op>
void TouchEach(std::vector<float>& v, int64_t k, Rng& rng, Op op) {
  for (int64_t t = 0; t < k; ++t) {
    const float u = rng.NextUnit();
    const size_t idx = rng.PickIndex(v.size());
    v[idx] = op(v[idx], u);
  }
}

// Tournament over the first `pool` ranked genomes: one pick, then size - 1 challengers that
// win only with a strictly higher fitness. Returns a genome index.
size_t Tournament(const std::vector<Genome>& genomes, const std::vector<size_t>& ranked,
                  size_t pool, int32_t size, Rng& rng) {
  size_t c = ranked[rng.NextIndex(pool)];
  for (int32_t t = 1; t < size; ++t) {
    const size_t d = ranked[rng.NextIndex(pool)];
    if (genomes[d].fitness > genomes[c].fitness) c = d;
  }
  return c;
}

}  // namespace

std::vector<float> Mutate(const std::vector<float>& in, uint8_t type, float rate, Rng& rng) {
  std::vector<float> v = in;
  const size_t n = v.size();
  if (n == 0 || type > kIncrement) return v;
  const int64_t k = static_cast<int64_t>(std::floor(static_cast<float>(n) * rate + 0.5f));
  switch (type) {
    case kShuffle:
      if (k < 1 || n < 2) break;
      for (int64_t t = 0; t < k; ++t) {
        const size_t i = rng.PickIndex(n);
        const size_t j = rng.PickIndex(n);
        std::swap(v[i], v[j]);
      }
      break;
    case kReweight:
      TouchEach(v, k, rng, [](float, float u) { return 2.0f * u - 1.0f; });
      break;
    case kShift: {
      const size_t off = n >= 3 ? static_cast<size_t>(rng.NextU64() % (n - 1)) + 1 : 1;
      for (size_t i = 0; i < n; ++i) v[(i + off) % n] = in[i];
      break;
    }
    case kMultiply:
      TouchEach(v, k, rng, [](float x, float u) { return x * (u * 0.20000005f + 0.9f); });
      break;
    case kIncrement:
      TouchEach(v, k, rng, [](float x, float u) { return x + (u * 0.2f - 0.1f); });
      break;
  }
  return v;
}

bool Crossover(const Network& a, const Network& b, bool weighted, Rng& rng, Network& child) {
  if (a.weights.size() != b.weights.size() || a.biases.size() != b.biases.size() ||
      a.layerSizes != b.layerSizes)
    return false;
  Network c;
  c.layerSizes = a.layerSizes;
  c.activations = a.activations;
  c.weights.resize(a.weights.size());
  c.biases.resize(a.biases.size());
  if (weighted) {
    const float alpha = rng.NextUnit();
    for (size_t i = 0; i < c.weights.size(); ++i)
      c.weights[i] = a.weights[i] * alpha + b.weights[i] * (1.0f - alpha);
    const float beta = rng.NextUnit();
    for (size_t i = 0; i < c.biases.size(); ++i)
      c.biases[i] = a.biases[i] * beta + b.biases[i] * (1.0f - beta);
  } else {
    for (size_t i = 0; i < c.weights.size(); ++i)
      c.weights[i] = (a.weights[i] + b.weights[i]) * 0.5f;
    for (size_t i = 0; i < c.biases.size(); ++i) c.biases[i] = (a.biases[i] + b.biases[i]) * 0.5f;
  }
  c.ZeroVelocities();
  child = std::move(c);
  return true;
}

}  // namespace kvr::tactics

namespace kvr::tactics {

bool Brain::Evolve() {
  std::vector<size_t> ranked;
  for (size_t i = 0; i < genomes.size(); ++i)
    if (genomes[i].episodes >= config.minEpisodesToRank) ranked.push_back(i);
  if (ranked.size() < 2) return false;
  // Stable, so that equal fitness ranks the same way on every platform.
  std::stable_sort(ranked.begin(), ranked.end(), [this](size_t a, size_t b) {
    return genomes[a].fitness > genomes[b].fitness;
  });
  const int64_t n = static_cast<int64_t>(ranked.size());
  const int64_t elites = std::min<int64_t>(n - 1, std::max(0, config.elites));
  const int64_t children = std::max<int64_t>(1, n / 2);
  const size_t pool = static_cast<size_t>(std::max<int64_t>(2, (n + 1) / 2));
  for (int64_t i = 0; i < children && n - 1 - i >= elites; ++i) {
    Genome& victim = genomes[ranked[static_cast<size_t>(n - 1 - i)]];
    const size_t a = Tournament(genomes, ranked, pool, config.tournamentSize, rng);
    size_t b = Tournament(genomes, ranked, pool, config.tournamentSize, rng);
    for (int retry = 0; b == a && retry < 4; ++retry)
      b = Tournament(genomes, ranked, pool, config.tournamentSize, rng);
    Network child;
    if (!Crossover(genomes[a].network, genomes[b].network, config.weightedCrossover != 0, rng,
                   child))
      child = genomes[a].network;
    child.weights = Mutate(child.weights, config.mutationType, config.mutationRate, rng);
    child.biases = Mutate(child.biases, config.mutationType, config.mutationRate, rng);
    child.ZeroVelocities();
    // Parents' fitness is read before the victim changes (with two ranked, a parent may be it).
    const double fitness = (genomes[a].fitness + genomes[b].fitness) * 0.5;
    victim.network = std::move(child);
    victim.fitness = fitness;
    victim.episodes = 0;
    victim.id = nextGenomeId++;
    victim.bornGeneration = static_cast<int32_t>(generation + 1);
  }
  ++generation;
  return true;
}

}  // namespace kvr::tactics
