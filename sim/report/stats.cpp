#include "sim/report/stats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kvr::sim::report {

MeanError MeanAndError(std::span<const double> values) {
  MeanError out;
  double sum = 0.0;
  for (double v : values)
    if (!std::isnan(v)) sum += v, ++out.n;
  if (out.n == 0) {
    out.mean = out.stdError = kNaN;
    return out;
  }
  out.mean = sum / static_cast<double>(out.n);
  if (out.n < 2) return out;
  double squares = 0.0;
  for (double v : values)
    if (!std::isnan(v)) squares += (v - out.mean) * (v - out.mean);
  const double n = static_cast<double>(out.n);
  out.stdError = std::sqrt(squares / (n - 1.0)) / std::sqrt(n);
  return out;
}

std::vector<double> BlockMeans(std::span<const double> values, size_t blockSize) {
  std::vector<double> out;
  if (blockSize == 0) return out;
  for (size_t start = 0; start < values.size(); start += blockSize) {
    const size_t count = std::min(blockSize, values.size() - start);
    if (count * 2 < blockSize) break;
    out.push_back(MeanAndError(values.subspan(start, count)).mean);
  }
  return out;
}

double TailMean(std::span<const double> values, size_t count) {
  if (values.empty()) return kNaN;
  const size_t n = std::min(count, values.size());
  return MeanAndError(values.subspan(values.size() - n, n)).mean;
}

}  // namespace kvr::sim::report
