// A suite's figures: every run judged with the suite's yardstick, then per variant each
// policy's mean and standard error over seeds, the best fixed style, each policy's regret
// against it, and each policy's largest regret over the variants.
#pragma once
#include <string>
#include <vector>

#include "sim/report/stats.h"
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
