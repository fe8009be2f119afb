// kvr-config as a modder runs it: the default file, and check reporting exactly what the mod's
// reader stores, with a note on every value the mod will not take as written.
#include <gtest/gtest.h>

#include <sstream>

#include "posix/run_tool.h"
#include "settings/config_ini.h"
#include "test_support.h"

namespace kvr {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(KvrConfigCli, DefaultIsTheModsOwnFile) {
  test::TempDir dir;
  EXPECT_EQ(test::RunTool("kvr-config", "default", false).out, BuildConfigIniText(Settings{}));
  ASSERT_EQ(test::RunTool("kvr-config", "default " + dir.File("config.ini")).status, 0);
  EXPECT_EQ(test::ReadFile(dir.File("config.ini")), BuildConfigIniText(Settings{}));
}

TEST(KvrConfigCli, CheckReportsWhatTheReaderStores) {
  test::TempDir dir;
  const std::string text =
      "\xEF\xBB\xBF[General]\r\nMenuKey = f 11\r\nMenuScale = 9 ; too "
      "big\r\n[NeuralNet]\r\nPopulation = 7.6\r\n"
      "LearningRate = abc\r\nHiddenLayer1 = 0x10\r\n";
  test::WriteFile(dir.File("config.ini"), text);
  const test::ToolRun run = test::RunTool("kvr-config", "check " + dir.File("config.ini"));
  ASSERT_EQ(run.status, 0) << run.out;
  Settings expected;
  ApplyConfigIniText(text, expected, nullptr);
  const auto lines = SplitLines(run.out);
  ASSERT_EQ(lines.size(), 63u);
  EXPECT_EQ(lines[0],
            "config.ini: 5 settings read, 57 missing (defaults used), 1 unreadable (defaults "
            "used); all clamped to "
            "their documented ranges");
  const auto table = SettingsTable();
  for (int i = 0; i < kSettingCount; ++i) {
    const std::string want = std::string(table[i].section) + "." + table[i].key + " = " +
                             FormatSettingValue(table[i], GetSettingValue(expected, i));
    EXPECT_EQ(lines[i + 1].substr(0, want.size()), want) << lines[i + 1];
  }
  EXPECT_EQ(lines[1 + kSettingMenuKey], "General.MenuKey = F11");
  EXPECT_NE(lines[1 + kSettingMenuScale].find(
                "file says \"9\", outside 0.75 .. 2.5; clamped, the mod uses 2.5"),
            std::string::npos);
  EXPECT_NE(lines[1 + kSettingPopulation].find("rounded, the mod uses 8"), std::string::npos);
  EXPECT_NE(lines[1 + kSettingLearningRate].find(
                "file says \"abc\", which is unreadable; the mod uses the default 0.05"),
            std::string::npos);
  EXPECT_EQ(lines[1 + kSettingHiddenLayer1], "NeuralNet.HiddenLayer1 = 16");
  EXPECT_NE(lines[1 + kSettingEnabled].find("missing from the file; the mod uses the default 1"),
            std::string::npos);
}

TEST(KvrConfigCli, MissingFileAndBadArguments) {
  test::TempDir dir;
  const test::ToolRun missing = test::RunTool("kvr-config", "check " + dir.File("none.ini"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "config.ini not found - using defaults\n");
  EXPECT_NE(test::RunTool("kvr-config", "frobnicate").status, 0);
  const test::ToolRun keys = test::RunTool("kvr-config", "keys");
  EXPECT_EQ(keys.status, 0);
  EXPECT_NE(keys.out.find("F9  (120)"), std::string::npos);
  EXPECT_NE(keys.out.find("NumPadMultiply  (106)"), std::string::npos);
}

}  // namespace
}  // namespace kvr
