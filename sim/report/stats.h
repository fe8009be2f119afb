// Small statistics for match reports: the mean with its standard error, and block means.
#pragma once
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

namespace kvr::sim::report {

// "No value": what a figure without any episode behind it reports.
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct MeanError {
  size_t n = 0;
  double mean = 0.0;      // NaN when n is 0
  double stdError = 0.0;  // sample standard deviation / sqrt(n); 0 for n below 2, NaN for n 0
};

// Mean and standard error of the mean; NaN values are skipped (a run that had no episode of a
// kind reports NaN for it and must not drag the others).
MeanError MeanAndError(std::span<const double> values);

// Means of consecutive blocks of blockSize values; the last block is kept when it holds at least
// half a block (a handful of values at the end says more about chance than about learning).
std::vector<double> BlockMeans(std::span<const double> values, size_t blockSize);

// Mean of the last `count` values (all of them when there are fewer); NaN when empty.
double TailMean(std::span<const double> values, size_t count);

}  // namespace kvr::sim::report
