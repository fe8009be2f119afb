#include <gtest/gtest.h>

#include <filesystem>

#include "settings/config_ini.h"
#include "test_support.h"

namespace kvr {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::vector<std::string> SplitCrlf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));  // unterminated tail: the test flags it
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

Settings ReadText(const std::string& text, std::string* status = nullptr,
                  ConfigReport* report = nullptr) {
  Settings s;
  const std::string st = ApplyConfigIniText(text, s, report);
  if (status) *status = st;
  return s;
}

TEST(ConfigIniWriter, DefaultFileLayout) {
  const std::string text = BuildConfigIniText(Settings{});
  const std::string head =
      "; KorvathPalimarNeuralNav v1.0.1 - Dunmere (Halvenor)\r\n"
      "; Neural-network tactics + Adaptive Pathfinding System arcs for Palimar Thugs - korvath "
      "madly "
      "vastly enhanced, advanced, and improved.\r\n"
      "; Edit here or live in the in-game menu (default key F9). Every value is clamped to its "
      "[min..max]. Delete this file to get defaults back.\r\n"
      "\r\n"
      "[General]\r\n"
      "; Master switch. 1 = on. 0 = the mod steps aside completely: vanilla pathfinding, no "
      "learning, "
      "local avoidance restored.\r\n"
      ";   default 1   (0 = off, 1 = on)\r\n"
      "Enabled = 1\r\n"
      "; Key that opens/closes the in-game menu. Default F9. Do NOT use F5/F6 (Glintmark), F7/F8 "
      "(KorvathPalimarThugs) or F11 (the engine's fullscreen toggle).\r\n"
      ";   default F9\r\n"
      "MenuKey = F9\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find(";   default 1.0   range 0.75 .. 2.5\r\nMenuScale = 1.0\r\n"),
            std::string::npos);
  EXPECT_NE(text.find(";   default 2   range 0 .. 2\r\nHiddenActivation = 2\r\n"),
            std::string::npos);
  EXPECT_NE(text.find(";   default 0.99   range 0.9 .. 0.99999\r\nCollinearDot = 0.99\r\n"),
            std::string::npos);
  EXPECT_NE(text.find(";   default 600   range 1 .. 1000000\r\nExploreDecayEpisodes = 600\r\n"),
            std::string::npos);

  // No bare LF, exactly six empty lines (one before each section header), 3 + 6 + 62 x 3 lines.
  const auto lines = SplitCrlf(text);
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
  EXPECT_EQ(lines.size(), 3u + 6u * 2u + 62u * 3u);
  int empties = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].find('\r'), std::string::npos);
    EXPECT_EQ(lines[i].find('\n'), std::string::npos);
    if (lines[i].empty()) {
      ++empties;
      ASSERT_LT(i + 1, lines.size());
      EXPECT_EQ(lines[i + 1].front(), '[');
    }
  }
  EXPECT_EQ(empties, 6);
  EXPECT_EQ(lines.back(), "OverlayMaxDistance = 4000.0");
  // The banner names F9 whatever the current key.
  Settings s;
  s.MenuKey = 121;
  const std::string other = BuildConfigIniText(s);
  EXPECT_NE(other.find("(default key F9)"), std::string::npos);
  EXPECT_NE(other.find("MenuKey = F10\r\n"), std::string::npos);
}

TEST(ConfigIniRoundTrip, EveryRowComesBack) {
  // Non-default values in every row, including awkward floats.
  Settings s;
  const auto table = SettingsTable();
  for (int i = 0; i < kSettingCount; ++i) {
    const SettingDef& row = table[i];
    SetSettingValue(s, i, row.min + (row.max - row.min) * 0.3719);
  }
  SetSettingValue(s, kSettingMenuKey, 20);  // a key without a name: written as VK20
  std::string status;
  const Settings back = ReadText(BuildConfigIniText(s), &status);
  EXPECT_EQ(
      status,
      "config.ini: 62 settings read, 0 missing (defaults used), 0 unreadable (defaults used); "
      "all clamped to their documented ranges");
  for (int i = 0; i < kSettingCount; ++i) {
    const double want = GetSettingValue(s, i), got = GetSettingValue(back, i);
    if (table[i].type == SettingType::Float) {
      EXPECT_NEAR(got, want, std::fabs(want) * 1e-5) << table[i].key;
    } else {
      EXPECT_EQ(got, want) << table[i].key;
    }
  }
  // Defaults come back exactly.
  const Settings defaults;
  const Settings again = ReadText(BuildConfigIniText(defaults));
  for (int i = 0; i < kSettingCount; ++i)
    EXPECT_EQ(GetSettingValue(again, i), GetSettingValue(defaults, i));
}

TEST(ConfigIniReader, CountsAndHandEdits) {
  std::string status;
  Settings s = ReadText("", &status);
  EXPECT_EQ(
      status,
      "config.ini: 0 settings read, 62 missing (defaults used), 0 unreadable (defaults used); "
      "all clamped to their documented ranges");

  s = ReadText("[General]\nenabled = 0\n");
  EXPECT_TRUE(s.Enabled);  // keys are case-sensitive
  s = ReadText("[General]\r\nEnabled = 0 ; trailing comment\r\n");
  EXPECT_FALSE(s.Enabled);
  s = ReadText("[General]\nEnabled = 0 # hash comment\n");
  EXPECT_FALSE(s.Enabled);
  s = ReadText("[  General  ]\nEnabled = 0\n");
  EXPECT_FALSE(s.Enabled);
  s = ReadText("Enabled = 0\n[General\nEnabled = 0\n");  // before any section / unterminated header
  EXPECT_TRUE(s.Enabled);
  s = ReadText("[General]\nEnabled = 0\nEnabled = 1\nVerboseLog\n= 1\n");
  EXPECT_TRUE(s.Enabled);  // later line wins; malformed lines are skipped

  ConfigReport report;
  s = ReadText("[General]\nMenuKey = F 11\n", &status, &report);
  EXPECT_EQ(s.MenuKey, 122);
  EXPECT_EQ(report.read, 1);
  EXPECT_EQ(report.missing, 61);
  s = ReadText("[General]\nMenuKey = Banana\n", &status, &report);
  EXPECT_EQ(s.MenuKey, 120);
  EXPECT_EQ(report.unreadable, 1);
  EXPECT_EQ(report.read, 1);
  // A lone digit names that digit's key, as "5" names 53.
  s = ReadText("[General]\nMenuKey = 0\n", &status, &report);
  EXPECT_EQ(s.MenuKey, 48);
  EXPECT_EQ(report.unreadable, 0);
  s = ReadText("[General]\nMenuKey = -3\n", &status, &report);
  EXPECT_EQ(s.MenuKey, 120);
  EXPECT_EQ(report.unreadable, 1);
  s = ReadText("[General]\nMenuKey = 500\n");
  EXPECT_EQ(s.MenuKey, 254);

  s = ReadText("[NeuralNet]\nPopulation = 40\nLearningRate = abc\nMomentum = 0.5 units\n", &status,
               &report);
  EXPECT_EQ(s.Population, 32);
  EXPECT_FLOAT_EQ(s.LearningRate, 0.05f);
  EXPECT_FLOAT_EQ(s.Momentum, 0.5f);
  EXPECT_EQ(report.read, 3);
  EXPECT_EQ(report.unreadable, 1);
  EXPECT_EQ(report.read + report.missing, 62);
  s = ReadText(
      "[NeuralNet]\nPopulation = 7.6\nHiddenLayer1 = 0x10\nNeuralTactics = true\nL2 = "
      "nan\nMomentum = inf\n",
      &status, &report);
  EXPECT_EQ(s.Population, 8);
  EXPECT_EQ(s.HiddenLayer1, 16);
  EXPECT_TRUE(s.NeuralTactics);
  EXPECT_EQ(report.unreadable, 1);  // "true"; nan and inf count as read and take the default
  EXPECT_FLOAT_EQ(s.L2, 0.0001f);
  EXPECT_FLOAT_EQ(s.Momentum, 0.9f);
  EXPECT_EQ(report.read, 5);
}

TEST(ConfigIniReader, ByteOrderMarkReadsLikeWithout) {
  const std::string body = "[General]\r\nEnabled = 0\r\nMenuScale = 2\r\n";
  ConfigReport withBom, without;
  const Settings a = ReadText("\xEF\xBB\xBF" + body, nullptr, &withBom);
  const Settings b = ReadText(body, nullptr, &without);
  EXPECT_EQ(withBom.read, 2);
  EXPECT_EQ(without.read, 2);
  for (int i = 0; i < kSettingCount; ++i) EXPECT_EQ(GetSettingValue(a, i), GetSettingValue(b, i));
}

TEST(ConfigIniFiles, MissingFileLeavesRecordAlone) {
  TempDir dir;
  Settings s;
  s.Population = 3;
  std::string status;
  EXPECT_FALSE(ReadConfigIni(dir.File("nope.ini"), s, status));
  EXPECT_EQ(status, "config.ini not found - using defaults");
  EXPECT_EQ(s.Population, 3);
}

TEST(ConfigIniFiles, WriteReplacesWholeAndFailedWriteKeepsOldFile) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  Settings s;
  s.Population = 5;
  ASSERT_TRUE(WriteConfigIni(path, s));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  WriteFile(path, "garbage that should be replaced whole");
  ASSERT_TRUE(WriteConfigIni(path, s));
  const std::string good = ReadFile(path);
  EXPECT_EQ(good, BuildConfigIniText(s));

  // The temporary file cannot be created (a folder sits in its place): the old file survives.
  std::filesystem::create_directory(path + ".tmp");
  Settings other;
  EXPECT_FALSE(WriteConfigIni(path, other));
  EXPECT_EQ(ReadFile(path), good);
  std::filesystem::remove(path + ".tmp");

  // The destination cannot be replaced (it is a non-empty folder): false, nothing lost.
  const std::string dirPath = dir.File("sub");
  std::filesystem::create_directories(dirPath + "/keep");
  EXPECT_FALSE(WriteConfigIni(dirPath, other));
  EXPECT_TRUE(std::filesystem::exists(dirPath + "/keep"));

  // A folder that does not exist.
  EXPECT_FALSE(WriteConfigIni(dir.File("missing/config.ini"), other));

  std::string status;
  Settings read;
  ASSERT_TRUE(ReadConfigIni(path, read, status));
  EXPECT_EQ(read.Population, 5);
}

}  // namespace
}  // namespace kvr
