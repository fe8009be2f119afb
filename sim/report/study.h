// A study: the same match under each policy over several seeds. Its figures are the mean and
// standard error over seeds of each run's own summary figures, so they agree with the runs'
// summary.json files.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "sim/report/match_summary.h"

namespace kvr::sim::report {

struct StudyRow {
  Policy policy = Policy::kLearned;
  size_t runs = 0;
  MeanError tailReward;        // mean reward of each run's last kTailEpisodes episodes
  MeanError chunksPerMinute;   // player health chunks lost per simulated minute
  MeanError damagePerEpisode;  // thug health lost per episode, fraction of max health
  MeanError thugDeathsPerMinute;
};

struct StudyResult {
  std::vector<MatchSummary> runs;
  std::array<StudyRow, 3> rows{};  // learned, random, rule
  // The style with the best mean reward under the random policy, in hindsight, and that mean
  // over the random runs (each run's mean reward of the style); -1 without random episodes.
  int bestStyle = -1;
  MeanError bestStyleReward;
};

StudyResult SummarizeStudy(std::vector<MatchSummary> runs);

std::string StudyTable(const StudyResult& study);
// Bars of mean and standard error per policy, one panel per figure.
std::string StudySvg(const StudyResult& study, const std::string& title);
std::string StudyJson(const StudyResult& study);

}  // namespace kvr::sim::report
