// kvr-config: write, check and explain config.ini without starting the game.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "apps/common/unknown_command.h"
#include "platform/file.h"
#include "settings/config_check.h"
#include "settings/config_ini.h"
#include "version/version.h"

namespace {

using kvr::ConfigRowReport;

constexpr int kExitProblems = 1;    // check: the file has lines the mod skips or misreads
constexpr int kExitUnreadable = 2;  // the file could not be read or written, or bad arguments

// "Section.Key = value" plus, when the mod will not use what the file said, why.
std::string DescribeRow(const kvr::SettingDef& row, const ConfigRowReport& r) {
  std::string line =
      std::string(row.section) + "." + row.key + " = " + kvr::FormatSettingValue(row, r.stored);
  const std::string used = kvr::FormatSettingValue(row, r.stored);
  switch (r.source) {
    case ConfigRowReport::Source::kMissing:
      return line + "   (missing from the file; the mod uses the default " + used + ")";
    case ConfigRowReport::Source::kUnreadable:
      return line + "   (file says \"" + r.text +
             "\", which is unreadable; the mod uses the default " + used + ")";
    case ConfigRowReport::Source::kRead:
      break;
  }
  if (!std::isfinite(r.requested))
    return line + "   (file says \"" + r.text +
           "\", not a finite number; the mod uses the default " + used + ")";
  if (r.requested < row.min || r.requested > row.max)
    return line + "   (file says \"" + r.text + "\", outside " +
           kvr::FormatSettingValue(row, row.min) + " .. " + kvr::FormatSettingValue(row, row.max) +
           "; clamped, the mod uses " + used + ")";
  if (row.type != kvr::SettingType::Float && r.requested != r.stored)
    return line + "   (file says \"" + r.text + "\"; rounded, the mod uses " + used + ")";
  return line;
}

int RunDefault(const std::string& file, bool force) {
  const kvr::Settings defaults;
  if (file.empty()) {
    const std::string text = kvr::BuildConfigIniText(defaults);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  // The user's own settings are in that file; only their word replaces it.
  if (!force && kvr::platform::PathExists(file)) {
    std::cerr << "kvr-config: " << file << " already exists; add --force to replace it\n";
    return kExitUnreadable;
  }
  if (!kvr::WriteConfigIni(file, defaults)) {
    std::cerr << "kvr-config: could not write " << file << ": " << kvr::platform::LastErrorText()
              << "\n";
    return kExitUnreadable;
  }
  return 0;
}

// Every line the mod skips or does not take as written, as "FILE:LINE: error: ...".
// Returns whether there was an error.
bool PrintProblems(const std::string& file, const std::string& text) {
  bool error = false;
  for (const kvr::ConfigProblem& p : kvr::CheckConfigIniText(text)) {
    const bool isError = p.severity == kvr::ConfigProblem::Severity::kError;
    error = error || isError;
    std::cout << file << ":" << p.line << ": " << (isError ? "error: " : "warning: ") << p.message
              << "\n";
  }
  return error;
}

int RunCheck(const std::string& file) {
  std::string text;
  if (kvr::platform::ReadFileCapped(file, kvr::kMaxConfigIniBytes, text) !=
      kvr::platform::ReadStatus::kOk) {
    kvr::Settings ignored;
    std::string status;
    kvr::ReadConfigIniFile(file, ignored, status);
    std::cerr << status << "\n";
    return kExitUnreadable;
  }
  kvr::Settings settings;
  kvr::ConfigReport report;
  std::cout << kvr::ApplyConfigIniText(text, settings, &report) << "\n";
  const auto table = kvr::SettingsTable();
  for (size_t i = 0; i < table.size(); ++i)
    std::cout << DescribeRow(table[i], report.rows[i]) << "\n";
  return PrintProblems(file, text) ? kExitProblems : 0;
}

int RunKeys() {
  for (int code = 1; code <= 254; ++code) {
    const std::string name = kvr::KeyName(code);
    if (name.rfind("VK", 0) != 0) std::cout << name << "  (" << code << ")\n";
  }
  std::cout << "VK<n>  (any virtual-key code n from 1 to 254, e.g. VK20)\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"kvr-config: write and check the mod's config.ini"};
  app.require_subcommand(1);
  // On Windows the parser would take "/tmp/b.kvrb" or "/home/..." (what Wine passes for a Unix
  // path) for a "/option"; the tools have no such options, so paths starting with "/" stay
  // paths. Set before the commands are added: they inherit it.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", kvr::ToolVersionLine("kvr-config"));
  std::string defaultFile, checkFile;
  auto* def = app.add_subcommand(
      "default", "Write a fresh documented config.ini (standard output without FILE)");
  def->add_option("FILE", defaultFile, "Where to write the file");
  bool force = false;
  def->add_flag("--force", force, "Replace FILE if it exists");
  auto* check =
      app.add_subcommand("check",
                         "Read a config.ini as the mod would, report every value and every line it "
                         "skips or misreads (exit 1 when there is an error)");
  check->add_option("FILE", checkFile, "The file to check")->required();
  auto* keys = app.add_subcommand("keys", "List the key names the MenuKey setting accepts");
  if (const std::string unknown = kvr::cli::UnknownCommand(app, argc, argv); !unknown.empty()) {
    std::cerr << "kvr-config: " << unknown << "\n";
    return kExitUnreadable;
  }
  CLI11_PARSE(app, argc, argv);
  if (*def) return RunDefault(defaultFile, force);
  if (*check) return RunCheck(checkFile);
  if (*keys) return RunKeys();
  return 2;
}
