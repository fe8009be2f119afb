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

// One variant's fixed styles, and the best of them, which the perfect policy earns.
struct Drawn {
  Style best;
  std::vector<Style> fixed;
};

// False when a fixed style has fewer than two runs: no standard error to draw with.
bool FixedStyles(const SuiteResult& result, std::vector<Drawn>& out) {
  for (const VariantResult& v : result.variants) {
    if (v.bestFixed < 0) continue;
    const report::MeanError& best = v.policies[v.bestFixed].judged;
    Drawn variant{{best.mean, best.stdError}, {}};
    for (const PolicyFigures& p : v.policies) {
      if (p.policy.kind != report::PolicyKind::kFixed || std::isnan(p.judged.mean)) continue;
      if (p.judged.n < 2) return false;
      variant.fixed.push_back({p.judged.mean, p.judged.stdError});
    }
    out.push_back(std::move(variant));
  }
  return !out.empty();
}

}  // namespace

NoiseFloor OracleNoiseFloor(const SuiteResult& result, size_t draws, uint64_t seed) {
  NoiseFloor floor;
  std::vector<Drawn> variants;
  if (draws == 0 || !FixedStyles(result, variants)) return floor;
  Normal normal{tactics::Rng{seed}};
  constexpr double kLow = -std::numeric_limits<double>::infinity();
  std::vector<double> largest(draws);
  for (double& out : largest) {
    out = kLow;
    for (const Drawn& v : variants) {
      double bestDrawn = kLow;
      for (const Style& s : v.fixed)
        bestDrawn = std::max(bestDrawn, normal.Next(s.mean, s.stdError));
      out = std::max(out, bestDrawn - normal.Next(v.best.mean, v.best.stdError));
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
