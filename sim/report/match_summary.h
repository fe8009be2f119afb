// The figures of one match: computed from its record, printed as the summary table, written as
// summary.json and read back by the study, so the study's table and each run's file agree.
#pragma once
#include <array>
#include <map>
#include <string>

#include "aps/aps.h"
#include "sim/report/match_record.h"
#include "sim/report/stats.h"

namespace kvr::sim::report {

// The reward figure that compares policies: the mean of the last this many episodes.
inline constexpr size_t kTailEpisodes = 500;

struct StyleFigures {
  MeanError reward;  // over this match's episodes of the style
  uint64_t reshaped = 0;
};

struct MatchSummary {
  MatchRun run;
  double simMinutes = 0.0;
  double speed = 0.0;  // simulated seconds per wall second

  // Episodes, from the mod's verbose lines.
  uint64_t episodes = 0;
  std::map<std::string, uint64_t> endReasons;
  MeanError reward;
  double tailReward = 0.0;  // mean of the last kTailEpisodes; NaN without episodes
  std::array<StyleFigures, aps::kStyleCount> styles{};
  float explorationEnd = 0.0f;  // the mod's exploration rate after the match

  BrainFigures brain;
  uint64_t brainEpisodesBefore = 0;

  // Reshaping: the arena's count of plans and the mod's reshape lines.
  uint64_t plans = 0, failedPlans = 0, reshaped = 0, kept = 0;
  double meanBuildMs = 0.0, maxBuildMs = 0.0, queriesPerBuild = 0.0;
  // Of the builder's queries, those the engine ran: the rest were repeats of the same build
  // answered from its memo. Equal to queriesPerBuild for a mod without the memo.
  double engineQueriesPerBuild = 0.0;
  double lengthGain = 0.0;  // reshaped route length / engine route length - 1, mean

  // The mod's own game-thread time per frame over the run, as it measured it (real time; the
  // match has no overlay); frames 0 when the mod reported none. Apart from it, the navigation
  // time the simulated engine modelled per frame (simulated time, not in the mod's figure).
  CostLine modCost;
  uint64_t frames = 0;
  double modelledNavigationUsPerFrame = 0.0;

  // Game outcomes, from the arena.
  double playerChunksLost = 0.0, meanSpacingCm = 0.0;
  double thugDamage = 0.0;  // health points, all thugs together
  int playerDeaths = 0, thugDeaths = 0;
  double chunksPerMinute = 0.0, thugDeathsPerMinute = 0.0, thugDamagePerMinute = 0.0;
  // The mod's own damage figure: health lost during an episode as a fraction of max health,
  // mean over episodes; NaN without episodes (the rule opens none).
  double thugDamagePerEpisode = 0.0;
};

MatchSummary Summarize(const MatchRecord& record);

// The table printed at the end of a match (plain text, one figure group per line).
std::string SummaryTable(const MatchSummary& summary);

// Every figure of the table. Numbers that do not exist (NaN) are written as null.
std::string SummaryJson(const MatchSummary& summary);

// Reads summary.json back. False with a reason when the text is not a summary this program
// wrote. Figures written as null come back as NaN.
bool ParseSummaryJson(const std::string& text, MatchSummary& out, std::string& error);

}  // namespace kvr::sim::report
