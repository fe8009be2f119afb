// `kvr-sim soak`: the living arena played for simulated hours with the mod as a long game session
// would see it: controllers and pawns come and go, the brain autosaves, the master switch is
// flipped every ten simulated minutes (as the menu does), and every simulated hour the mod is
// uninstalled and started again (the host's hot reload), saving and reloading its brain. At the
// end of every hour the process's resident memory, handles and threads, the brain file's size
// and the log's growth are taken; the run passes only when none of them grows without bound.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/arena/play.h"

namespace kvr::sim {

struct SoakOptions {
  PlayOptions play;  // level, thugs (32), seed, workers, mod folder; minutes is not used
  double hours = 24.0;
  double flipMinutes = 10.0;    // master switch flips
  double reloadMinutes = 60.0;  // hot reloads (and the hourly measurements)
};

// What one simulated hour ended with.
struct SoakHour {
  double residentMiB = 0;
  int64_t handles = 0;
  int64_t threads = 0;
  int64_t brainBytes = -1;  // -1: no brain file
  uint64_t logBytes = 0;    // what the mod logged during the hour
  uint64_t episodesJudged = 0;
  uint64_t episodesRefused = 0;  // non-finite, not judged
  uint64_t episodeEnds = 0;      // "episode <reason>" lines
  double wallSeconds = 0;
};

struct SoakReport {
  std::vector<SoakHour> hours;
  std::vector<std::pair<std::string, int>> episodeEnds;  // by reason, over the whole run
  std::vector<std::string> failures;                     // empty: passed
};

// Largest growth of resident memory from the end of the first hour to the end.
inline constexpr double kSoakMemoryGrowth = 0.02;

// False with a reason when the run could not be set up or the mod could not be started again.
bool RunSoak(const SoakOptions& options, SoakReport& report, std::string& error);

// The judgement of the hours: one line per broken rule (none: passed).
std::vector<std::string> JudgeSoak(const std::vector<SoakHour>& hours);

// One line per hour, then the verdict; the last line is the one scripts look for.
std::string SoakSummary(const SoakReport& report);

}  // namespace kvr::sim
