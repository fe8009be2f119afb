// How large a largest regret the suite's own noise makes. The best fixed style of a variant is
// the largest of several noisy means, so even a policy exactly as good as the truly best style
// in every variant shows a regret above 0, and the largest over the variants more so. Before a
// regret target is read as met or missed, this says how much of it noise alone would give.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sim/report/stats.h"

namespace kvr::sim::suite {

struct SuiteResult;

struct NoiseFloor {
  // The largest regret over the variants of a policy that always earns the best fixed style's
  // mean, over `draws` simulated suites: every fixed style's mean drawn anew around the measured
  // one with its standard error, and the policy's own mean likewise around the best. NaN when a
  // variant's fixed styles have fewer than two runs each (no standard error to draw with).
  double mean = report::kNaN, median = report::kNaN, p90 = report::kNaN;
  size_t draws = 0;
};

// Taking the measured means as the truth makes this a low estimate: measured means lie further
// apart than the true ones, so the largest of them is less often someone else's lucky draw.
// The same result and seed always give the same figures.
NoiseFloor OracleNoiseFloor(const SuiteResult& result, size_t draws = 20000, uint64_t seed = 1);

}  // namespace kvr::sim::suite
