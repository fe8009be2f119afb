#include "sim/suite/noise_floor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "sim/suite/suite_result.h"
#include "tactics/rng.h"

namespace kvr::sim::suite {

namespace {

// Box-Muller on the brain's own generator: the same draws on every platform and standard
// library, which std::normal_distribution does not promise.
struct Normal {
  tactics::Rng rng;
  double Unit() { return (static_cast<double>(rng.NextU64() >> 11) + 0.5) * 0x1.0p-53; }
  double Next(double mean, double sd) {
    const double r = std::sqrt(-2.0 * std::log(Unit()));  // Unit() is never 0
    return mean + sd * r * std::cos(2.0 * std::numbers::pi * Unit());
  }
};

struct Style {
  double mean, stdError;
};

// Each variant's fixed styles with the best first; empty when one lacks a standard error.
bool FixedStyles(const SuiteResult& result, std::vector<std::vector<Style>>& out) {
  for (const VariantResult& v : result.variants) {
    if (v.bestFixed < 0) continue;
    std::vector<Style> styles{
        {v.policies[v.bestFixed].judged.mean, v.policies[v.bestFixed].judged.stdError}};
    for (int i = 0; i < static_cast<int>(v.policies.size()); ++i) {
      const PolicyFigures& p = v.policies[i];
      if (p.policy.kind != report::PolicyKind::kFixed || std::isnan(p.judged.mean)) continue;
      if (p.judged.n < 2) return false;
      if (i != v.bestFixed) styles.push_back({p.judged.mean, p.judged.stdError});
    }
    out.push_back(std::move(styles));
  }
  return !out.empty();
}

}  // namespace

NoiseFloor OracleNoiseFloor(const SuiteResult& result, size_t draws, uint64_t seed) {
  NoiseFloor floor;
  std::vector<std::vector<Style>> variants;
  if (draws == 0 || !FixedStyles(result, variants)) return floor;
  Normal normal{tactics::Rng{seed}};
  constexpr double kLow = -std::numeric_limits<double>::infinity();
  std::vector<double> largest(draws);
  for (double& out : largest) {
    out = kLow;
    for (const std::vector<Style>& styles : variants) {
      double bestDrawn = kLow;
      for (const Style& s : styles)
        bestDrawn = std::max(bestDrawn, normal.Next(s.mean, s.stdError));
      out = std::max(out, bestDrawn - normal.Next(styles[0].mean, styles[0].stdError));
    }
  }
  double sum = 0.0;
  for (double r : largest) sum += r;
  std::sort(largest.begin(), largest.end());
  floor.mean = sum / static_cast<double>(draws);
  floor.median = largest[draws / 2];
  floor.p90 = largest[std::min(draws - 1, draws * 9 / 10)];
  floor.draws = draws;
  return floor;
}

}  // namespace kvr::sim::suite
