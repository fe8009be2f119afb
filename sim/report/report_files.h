// The report folder of a match: what the mod wrote (config.ini, brain.kvrb, its log) and what
// the match made of it (summary.json, learning.csv, learning.svg, routes.svg).
#pragma once
#include <string>
#include <vector>

#include "sim/nav/detour_nav.h"
#include "sim/nav/level.h"
#include "sim/report/match_record.h"
#include "sim/report/match_summary.h"

namespace kvr::sim::report {

struct ReportInputs {
  const MatchRecord* record = nullptr;
  const MatchSummary* summary = nullptr;
  const Level* level = nullptr;
  const NavMesh* mesh = nullptr;
  std::string modDir;               // UTF-8; config.ini and brain.kvrb are copied from here
  std::vector<std::string> modLog;  // every line the mod wrote
};

// File names inside the report folder.
inline constexpr const char* kSummaryFile = "summary.json";
inline constexpr const char* kLearningCsvFile = "learning.csv";
inline constexpr const char* kLearningSvgFile = "learning.svg";
inline constexpr const char* kRoutesSvgFile = "routes.svg";
inline constexpr const char* kModLogFile = "mod.log";

// Creates the folder when missing and proves that files can be written into it; false with the
// reason ("cannot write into DIR: Permission denied"). Run before a match changes anything, so a
// bad folder costs no play.
bool PrepareReportFolder(const std::string& dir, std::string& error);

// Creates the folder when missing and writes every file; false with the first failure's reason
// (the files written before it stay).
bool WriteMatchReport(const std::string& dir, const ReportInputs& in, std::string& error);

}  // namespace kvr::sim::report
