#include "sim/report/report_files.h"

#include <filesystem>
#include <system_error>

#include "platform/file.h"
#include "platform/text.h"
#include "sim/report/learning_curve.h"
#include "sim/report/routes_picture.h"

namespace kvr::sim::report {

namespace {

namespace fs = std::filesystem;

std::string Join(const std::string& dir, const char* name) {
  return platform::WideToUtf8((fs::path(platform::Utf8ToWide(dir)) / name).wstring());
}

bool Write(const std::string& dir, const char* name, const std::string& text, std::string& error) {
  if (platform::WriteFileReplacing(Join(dir, name), text) == platform::ReplaceStatus::kOk)
    return true;
  error = "cannot write " + Join(dir, name) + ": " + platform::LastErrorText();
  return false;
}

// The mod's own files, byte for byte; a file the mod did not write is reported, not invented.
bool CopyModFile(const std::string& modDir, const std::string& dir, const char* name,
                 std::string& error) {
  std::string bytes;
  if (!platform::ReadWholeFile(Join(modDir, name), bytes)) {
    error = "the mod left no " + Join(modDir, name);
    return false;
  }
  return Write(dir, name, bytes, error);
}

std::string Title(const MatchRecord& r, const char* what) {
  return std::string(what) + " - " + r.run.level + ", " + std::to_string(r.run.thugs) +
         " thugs, policy " + PolicyName(r.run.policy) + ", seed " + std::to_string(r.run.seed);
}

}  // namespace

bool PrepareReportFolder(const std::string& dir, std::string& error) {
  std::error_code ec;
  fs::create_directories(fs::path(platform::Utf8ToWide(dir)), ec);
  if (ec) {
    error = "cannot create " + dir + ": " + ec.message();
    return false;
  }
  const std::string probe = Join(dir, ".kvr-write-test");
  if (platform::WriteFileReplacing(probe, "") != platform::ReplaceStatus::kOk) {
    error = "cannot write into " + dir + ": " + platform::LastErrorText();
    fs::remove(fs::path(platform::Utf8ToWide(probe + ".tmp")), ec);
    return false;
  }
  fs::remove(fs::path(platform::Utf8ToWide(probe)), ec);
  return true;
}

bool WriteMatchReport(const std::string& dir, const ReportInputs& in, std::string& error) {
  std::error_code ec;
  fs::create_directories(fs::path(platform::Utf8ToWide(dir)), ec);
  if (ec) {
    error = "cannot create " + dir + ": " + ec.message();
    return false;
  }
  const MatchRecord& r = *in.record;
  std::string log;
  for (const std::string& line : in.modLog) log += line + "\n";
  const std::vector<LearningRow> curve = LearningCurve(r);
  return CopyModFile(in.modDir, dir, "config.ini", error) &&
         CopyModFile(in.modDir, dir, "brain.kvrb", error) && Write(dir, kModLogFile, log, error) &&
         Write(dir, kSummaryFile, SummaryJson(*in.summary), error) &&
         Write(dir, kLearningCsvFile, LearningCsv(curve), error) &&
         Write(dir, kLearningSvgFile, LearningSvg(curve, Title(r, "Learning")), error) &&
         Write(dir, kRoutesSvgFile,
               RoutesSvg(r, *in.level, *in.mesh, Title(r, "Last route of each thug")), error);
}

}  // namespace kvr::sim::report
