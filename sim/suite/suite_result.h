// A suite's figures: every run judged with the suite's yardstick, then per variant each
// policy's mean and standard error over seeds, the best fixed style, each policy's regret
// against it, and each policy's largest regret over the variants.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "aps/aps.h"
#include "sim/report/stats.h"
#include "sim/suite/noise_floor.h"
#include "sim/suite/suite_file.h"

namespace kvr::sim::suite {

// One run's figures, from its report folder.
struct RunFigures {
  std::string variant;
  report::Policy policy;
  uint64_t seed = 0;
  size_t episodes = 0;  // the mod's episode lines in the run
  double judged = 0.0;  // mean judged reward of the last `lastEpisodes` episodes; NaN without
  double chunksPerMinute = 0.0, damagePerEpisode = 0.0, deathsPerMinute = 0.0;
  // A random run's judged rewards summed per style over all its episodes (its choices do not
  // change over a run, so every episode counts); empty for other policies.
  std::array<double, aps::kStyleCount> styleSum{};
  std::array<size_t, aps::kStyleCount> styleCount{};
};

struct PolicyFigures {
  report::Policy policy;
  size_t runs = 0;
  report::MeanError judged, chunksPerMinute, damagePerEpisode, deathsPerMinute;
  double regret = 0.0;  // best fixed mean - this mean; NaN without episodes or fixed styles
};

struct VariantResult {
  std::string name;
  std::vector<PolicyFigures> policies;  // in the suite's order
  int bestFixed = -1, worstFixed = -1;  // indices into policies; -1 without fixed styles
  // What one decision of each style earns while the other thugs play every style: the judged
  // mean of that style's episodes pooled over the variant's random runs (NaN without any).
  // Every thug learns from its own decisions' rewards, so this, not the fixed styles' order,
  // is what the learned policy can see; where the two orders differ, the style that pays a
  // thug best among mixed styles is not the one that pays best when the whole pack plays it.
  std::array<double, aps::kStyleCount> perDecision{};
  int bestPerDecision = -1;  // a style index; -1 without random episodes
};

struct PolicyRegret {
  report::Policy policy;
  double maxRegret = 0.0;
};

struct SuiteResult {
  std::string name;
  size_t seeds = 0, lastEpisodes = 0;
  std::vector<VariantResult> variants;
  std::vector<PolicyRegret> maxRegret;  // policies with episodes, in the suite's order
  NoiseFloor noiseFloor;                // what noise alone gives the largest regret
};

// Reads <reportDir>/mod.log and summary.json of one run and judges its episodes.
bool ReadRunFigures(const std::string& reportDir, const Suite& suite, RunFigures& out,
                    std::string& error);

// The judged mean of the last `last` episodes among the mod's log lines.
double JudgedTail(const std::vector<std::string>& lines, const report::Judge& judge, size_t last,
                  size_t* episodes = nullptr);

SuiteResult SummarizeSuite(const Suite& suite, const std::vector<RunFigures>& runs);

std::string VariantTable(const SuiteResult& result, const VariantResult& variant);
std::string SuiteTable(const SuiteResult& result);  // every variant's table and the regrets
std::string SuiteJson(const SuiteResult& result);
std::string SuiteSvg(const SuiteResult& result, const std::string& title);

// "0.712 +- 0.004", or "0.712 (one seed, no standard error)" when there is one run.
std::string MeanText(const report::MeanError& m, const char* format);

}  // namespace kvr::sim::suite
