// kvr-config: write, check and explain config.ini without starting the game.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "settings/config_ini.h"

namespace {

using kvr::ConfigRowReport;

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

int RunDefault(const std::string& file) {
  const kvr::Settings defaults;
  if (file.empty()) {
    const std::string text = kvr::BuildConfigIniText(defaults);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  if (!kvr::WriteConfigIni(file, defaults)) {
    std::cerr << "could not write " << file << "\n";
    return 2;
  }
  return 0;
}

int RunCheck(const std::string& file) {
  kvr::Settings settings;
  std::string status;
  kvr::ConfigReport report;
  if (!kvr::ReadConfigIni(file, settings, status, &report)) {
    std::cerr << status << "\n";
    return 2;
  }
  std::cout << status << "\n";
  const auto table = kvr::SettingsTable();
  for (size_t i = 0; i < table.size(); ++i)
    std::cout << DescribeRow(table[i], report.rows[i]) << "\n";
  return 0;
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
  std::string defaultFile, checkFile;
  auto* def = app.add_subcommand(
      "default", "Write a fresh documented config.ini (standard output without FILE)");
  def->add_option("FILE", defaultFile, "Where to write the file");
  auto* check =
      app.add_subcommand("check", "Read a config.ini as the mod would and report every value");
  check->add_option("FILE", checkFile, "The file to check")->required();
  auto* keys = app.add_subcommand("keys", "List the key names the MenuKey setting accepts");
  CLI11_PARSE(app, argc, argv);
  if (*def) return RunDefault(defaultFile);
  if (*check) return RunCheck(checkFile);
  if (*keys) return RunKeys();
  return 2;
}
