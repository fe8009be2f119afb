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

TEST(KvrConfigCli, DefaultKeepsAnExistingFileUnlessForced) {
  test::TempDir dir;
  const std::string file = dir.File("config.ini");
  test::WriteFile(file, "[General]\r\nMenuKey = F10 ; mine\r\n");
  const test::ToolRun refused = test::RunTool("kvr-config", "default " + file);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.out, "kvr-config: " + file + " already exists; add --force to replace it\n");
  EXPECT_EQ(test::ReadFile(file), "[General]\r\nMenuKey = F10 ; mine\r\n");
  ASSERT_EQ(test::RunTool("kvr-config", "default --force " + file).status, 0);
  EXPECT_EQ(test::ReadFile(file), BuildConfigIniText(Settings{}));
}

TEST(KvrConfigCli, CheckReportsWhatTheReaderStores) {
  test::TempDir dir;
  const std::string text =
      "\xEF\xBB\xBF[General]\r\nMenuKey = f 11\r\nMenuScale = 9 ; too "
      "big\r\n[NeuralNet]\r\nPopulation = 7.6\r\n"
      "LearningRate = abc\r\nHiddenLayer1 = 0x10\r\n";
  test::WriteFile(dir.File("config.ini"), text);
  const test::ToolRun run = test::RunTool("kvr-config", "check " + dir.File("config.ini"));
  ASSERT_EQ(run.status, 1) << run.out;  // LearningRate = abc is an error
  Settings expected;
  ApplyConfigIniText(text, expected, nullptr);
  const auto lines = SplitLines(run.out);
  ASSERT_GE(lines.size(), 63u);
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

// Every line a hand edit typically gets wrong, each named with its line number.
TEST(KvrConfigCli, CheckNamesEveryProblemWithItsLine) {
  test::TempDir dir;
  const std::string file = dir.File("config.ini");
  test::WriteFile(file,
                  "[General]\r\n"              // 1
                  "MenuScale = 1,5\r\n"        // 2
                  "MenuKey = F7\r\n"           // 3
                  "[NeuralNet]\r\n"            // 4
                  "LearnRate = 0.1\r\n"        // 5
                  "Population 12\r\n"          // 6
                  "[Rewards\r\n"               // 7
                  "Population = 40\r\n"        // 8
                  "Population = 12 units\r\n"  // 9
                  "[Extras]\r\n"               // 10
                  "Foo = 1\r\n");              // 11
  const test::ToolRun run = test::RunTool("kvr-config", "check " + file);
  EXPECT_EQ(run.status, 1) << run.out;
  const auto lines = SplitLines(run.out);
  ASSERT_GE(lines.size(), 63u);
  const std::vector<std::string> problems(lines.begin() + 63, lines.end());
  const std::vector<std::string> want = {
      file + ":2: error: MenuScale = \"1,5\" reads as 1: decimals take a full stop (1.5)",
      file +
          ":3: warning: MenuKey = F7: the comment above it says KorvathPalimarThugs uses F7; "
          "both would react to it",
      file +
          ":5: error: unknown key \"LearnRate\" in [NeuralNet]; the mod ignores it (did you "
          "mean LearningRate?)",
      file + ":6: error: \"Population 12\" is not a setting (no \"=\"); the mod skips it",
      file +
          ":7: error: section header \"[Rewards\" has no closing \"]\"; the mod skips it and "
          "reads the lines below as part of the section before",
      file + ":8: warning: Population = 40 is outside 1 .. 32; the mod uses 32",
      file +
          ":9: warning: Population was already set on line 8; this later line is the one the "
          "mod uses",
      file + ":9: warning: Population = \"12 units\" reads as 12; the mod ignores \"units\"",
      file +
          ":10: error: unknown section \"[Extras]\"; the mod ignores every key in it (the "
          "sections are [General], [Pathfinding], [Avoidance], [NeuralNet], [Rewards], "
          "[Debug])"};
  EXPECT_EQ(problems, want) << run.out;
  // The mod itself took the comma value as 1.0 and counted it as read.
  EXPECT_NE(run.out.find("General.MenuScale = 1.0\n"), std::string::npos) << run.out;

  // A file the mod's own writer made has nothing to report.
  const test::ToolRun clean = test::RunTool("kvr-config", "default --force " + file);
  ASSERT_EQ(clean.status, 0);
  const test::ToolRun ok = test::RunTool("kvr-config", "check " + file);
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(SplitLines(ok.out).size(), 63u) << ok.out;
}

// The warning about a menu key follows what the file's own comment promises.
TEST(KvrConfigCli, ReservedMenuKeysAreTheOnesTheCommentNames) {
  const std::string help = SettingsTable()[kSettingMenuKey].help;
  ASSERT_NE(help.find("F5/F6 (Glintmark), F7/F8 (KorvathPalimarThugs) or F11 (the engine's "
                      "fullscreen toggle)"),
            std::string::npos);
  test::TempDir dir;
  for (const char* key : {"F5", "F6", "F7", "F8", "F11"}) {
    test::WriteFile(dir.File("c.ini"), std::string("[General]\nMenuKey = ") + key + "\n");
    const test::ToolRun run = test::RunTool("kvr-config", "check " + dir.File("c.ini"));
    EXPECT_EQ(run.status, 0) << key;
    EXPECT_NE(run.out.find(":2: warning: MenuKey = " + std::string(key)), std::string::npos)
        << run.out;
  }
  test::WriteFile(dir.File("c.ini"), "[General]\nMenuKey = F10\n");
  EXPECT_EQ(test::RunTool("kvr-config", "check " + dir.File("c.ini")).out.find("warning"),
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
