// Every row of the settings table (section, key, type, default, range, help) against a default
// config.ini kept beside the tests, written by hand from the stated table: a changed default,
// range, help text, key, section or row order anywhere shows up here as a changed line.
#include <gtest/gtest.h>

#include <set>

#include "settings/config_ini.h"
#include "test_support.h"

namespace kvr {
namespace {

std::string Golden() {
  return test::ReadFile(std::string(KVR_SOURCE_DIR) + "/tests/data/default_config.ini");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

TEST(SettingsGolden, TheDefaultFileMatchesTheStatedTableLineByLine) {
  const std::string golden = Golden();
  ASSERT_FALSE(golden.empty()) << "tests/data/default_config.ini is missing";
  const std::string written = BuildConfigIniText(Settings{});
  const std::vector<std::string> want = Lines(golden), got = Lines(written);
  for (size_t i = 0; i < std::min(want.size(), got.size()); ++i)
    EXPECT_EQ(got[i], want[i]) << "line " << i + 1;
  EXPECT_EQ(got.size(), want.size());
  EXPECT_EQ(written, golden);
}

TEST(SettingsGolden, TypesThatTheFileCannotShow) {
  // The file shows Bool, Key and Float rows by their default and value lines; Int and Enum rows
  // both print "%d", so the enum rows are named here.
  std::set<std::string> enums, keys;
  for (const SettingDef& row : SettingsTable()) {
    if (row.type == SettingType::Enum) enums.insert(row.key);
    if (row.type == SettingType::Key) keys.insert(row.key);
  }
  EXPECT_EQ(enums, (std::set<std::string>{"HiddenActivation", "InitMode", "MutationType",
                                          "CrossoverType"}));
  EXPECT_EQ(keys, (std::set<std::string>{"MenuKey"}));
}

TEST(SettingsGolden, TheGoldenFileReadsBackAsEveryDefault) {
  Settings s;
  s.Population = 3;
  s.ArcAmplitude = 0.7f;
  ConfigReport report;
  const std::string status = ApplyConfigIniText(Golden(), s, &report);
  EXPECT_EQ(status,
            "config.ini: 62 settings read, 0 missing (defaults used), 0 unreadable (defaults "
            "used); all clamped to their documented ranges");
  const Settings defaults;
  for (int i = 0; i < kSettingCount; ++i)
    EXPECT_EQ(GetSettingValue(s, i), GetSettingValue(defaults, i)) << SettingsTable()[i].key;
}

}  // namespace
}  // namespace kvr
