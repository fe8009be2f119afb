// A match: the mod loaded as the mod host loads it, playing in the living arena at simulated
// time under one style policy, followed as it goes (progress, the mod's verbose lines stamped
// with the simulated time they arrived at, the thugs' spacing), and its report.
//
// The policy reaches the mod only through its own files (config.ini, and for a fixed style a
// brain.kvrb), changed for this match only (sim/match/mod_folder.h); what the mod decided and
// learnt is read back from its log lines and its brain file, what happened in the game from the
// arena's own statistics.
#pragma once
#include <functional>
#include <string>

#include "sim/arena/play.h"
#include "sim/report/match_record.h"
#include "sim/report/match_summary.h"

namespace kvr::sim {

struct MatchProgress {
  double simSeconds = 0.0;
  double totalSeconds = 0.0;
  uint64_t episodes = 0;
  double wallSeconds = 0.0;
};

struct MatchOptions {
  PlayOptions play;  // modDir is required
  report::Policy policy = report::Policy::kLearned;
  std::string reportDir;  // empty = no report files
  std::string platform;   // "native" or "wine", for the report
  // Called every simulated second or so, on the calling thread.
  std::function<void(const MatchProgress&)> onProgress;
};

struct MatchResult {
  report::MatchRecord record;
  report::MatchSummary summary;
  std::vector<std::string> modLines;
  std::string reportError;  // why the report could not be written; empty when it was
};

// False with a one-line reason when the match could not run. A report that cannot be written
// does not fail the match: reportError says why.
bool RunMatch(const MatchOptions& options, MatchResult& result, std::string& error);

// A folder without brain.kvrb gets a fresh brain made by the mod's own code from `seed`, so
// that a match in a fresh folder replays exactly (the mod would otherwise seed a fresh brain
// from the processor's time-stamp counter). An existing brain is left as it is.
bool SeedFreshBrain(const std::string& modDir, uint64_t seed, std::string& error);

// Reads a brain file as a tool does (any network shape); false when there is none or it is
// damaged, with the reader's reason.
bool ReadBrainFigures(const std::string& path, report::BrainFigures& out);

}  // namespace kvr::sim
