#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "settings/settings.h"

namespace kvr {
namespace {

int Row(const char* key) {
  const auto table = SettingsTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (std::string(table[i].key) == key) return static_cast<int>(i);
  return -1;
}

TEST(SettingsTable, RowsSectionsAndDefaults) {
  const auto table = SettingsTable();
  ASSERT_EQ(table.size(), 62u);
  std::set<std::string> keys;
  for (const SettingDef& row : table) {
    EXPECT_TRUE(keys.insert(row.key).second) << row.key;
    EXPECT_LE(row.min, row.def) << row.key;
    EXPECT_LE(row.def, row.max) << row.key;
    EXPECT_NE(std::string(row.help), "") << row.key;
  }
  // Sections are contiguous and in file order.
  const char* sections[] = {"General", "Pathfinding", "Avoidance", "NeuralNet", "Rewards", "Debug"};
  const int first[] = {0, 6, 25, 28, 52, 60};
  for (int s = 0; s < 6; ++s) EXPECT_STREQ(table[first[s]].section, sections[s]);
  EXPECT_STREQ(table[61].key, "OverlayMaxDistance");
  EXPECT_EQ(Row("DangerFear"), -1);

  // A default record holds every table default exactly as its storage type keeps it.
  const Settings s;
  for (int i = 0; i < kSettingCount; ++i) {
    const SettingDef& row = table[i];
    const double expected =
        row.type == SettingType::Float ? static_cast<double>(static_cast<float>(row.def)) : row.def;
    EXPECT_EQ(GetSettingValue(s, i), expected) << row.key;
  }
  EXPECT_EQ(s.MenuKey, 120);
  EXPECT_FLOAT_EQ(s.CollinearDot, 0.99f);
  EXPECT_EQ(GetSettingValue(s, 62), 0.0);
  EXPECT_EQ(GetSettingValue(s, -1), 0.0);
}

TEST(SettingsSet, ClampRoundAndNonFinite) {
  Settings s;
  const double inf = std::numeric_limits<double>::infinity();
  SetSettingValue(s, kSettingLearningRate, std::nan(""));
  EXPECT_FLOAT_EQ(s.LearningRate, 0.05f);
  SetSettingValue(s, kSettingLearningRate, -inf);
  EXPECT_FLOAT_EQ(s.LearningRate, 0.05f);
  SetSettingValue(s, kSettingLearningRate, 1e-9);
  EXPECT_FLOAT_EQ(s.LearningRate, 0.0001f);
  SetSettingValue(s, kSettingPopulation, 2.5);
  EXPECT_EQ(s.Population, 3);
  SetSettingValue(s, kSettingPopulation, 2.4999);
  EXPECT_EQ(s.Population, 2);
  SetSettingValue(s, kSettingHiddenLayer2, -0.5);
  EXPECT_EQ(s.HiddenLayer2, 0);
  SetSettingValue(s, kSettingVerboseLog, 0.4);
  EXPECT_FALSE(s.VerboseLog);
  SetSettingValue(s, kSettingVerboseLog, 0.5);
  EXPECT_TRUE(s.VerboseLog);
  SetSettingValue(s, kSettingVerboseLog, -3);
  EXPECT_FALSE(s.VerboseLog);
  SetSettingValue(s, kSettingMenuKey, 0);
  EXPECT_EQ(s.MenuKey, 1);
  SetSettingValue(s, kSettingMenuKey, 300);
  EXPECT_EQ(s.MenuKey, 254);
  SetSettingValue(s, kSettingExploreDecayEpisodes, 1e300);
  EXPECT_EQ(s.ExploreDecayEpisodes, 1000000);
  // Out-of-table indices change nothing.
  const Settings before = s;
  SetSettingValue(s, 62, 5);
  SetSettingValue(s, -1, 5);
  for (int i = 0; i < kSettingCount; ++i)
    EXPECT_EQ(GetSettingValue(s, i), GetSettingValue(before, i));
}

TEST(SettingsKeys, NamesBothWays) {
  EXPECT_EQ(KeyName(120), "F9");
  EXPECT_EQ(KeyName(65), "A");
  EXPECT_EQ(KeyName(48), "0");
  EXPECT_EQ(KeyName(20), "VK20");
  EXPECT_EQ(KeyName(0), "VK0");
  EXPECT_EQ(KeyName(106), "NumPadMultiply");
  EXPECT_EQ(ParseKeyName(" f 9 "), 120);
  EXPECT_EQ(ParseKeyName("\tF\t1 1"), 122);
  EXPECT_EQ(ParseKeyName("numpadmultiply"), 106);
  EXPECT_EQ(ParseKeyName("NumPad*"), 0);
  EXPECT_EQ(ParseKeyName("x"), 88);
  EXPECT_EQ(ParseKeyName("5"), 53);
  EXPECT_EQ(ParseKeyName("VK300"), 300);
  EXPECT_EQ(ParseKeyName("vk20"), 20);
  EXPECT_EQ(ParseKeyName("vkx"), 0);
  EXPECT_EQ(ParseKeyName("120"), 120);
  EXPECT_EQ(ParseKeyName("-5"), 0);
  EXPECT_EQ(ParseKeyName(""), 0);
  EXPECT_EQ(ParseKeyName("   "), 0);
  EXPECT_EQ(ParseKeyName("Ä"), 0);  // non-ASCII bytes are neither letters nor digits
  // Huge numbers saturate instead of overflowing; the setter clamps them to 254.
  EXPECT_GT(ParseKeyName("99999999999999999999"), 254);
  // Every named key parses back to its code.
  for (int code = 1; code <= 254; ++code) {
    const std::string name = KeyName(code);
    EXPECT_EQ(ParseKeyName(name), code) << name;
  }
}

TEST(SettingsText, EnumNamesFormattingAndWarnings) {
  EXPECT_EQ(EnumName("MutationType", 5), "5");
  EXPECT_EQ(EnumName("MutationType", 4), "Increment");
  EXPECT_EQ(EnumName("InitMode", 0), "Plugin uniform -1..1");
  EXPECT_EQ(EnumName("HiddenActivation", 2), "Tanh");
  EXPECT_EQ(EnumName("hiddenactivation", 2), "2");
  EXPECT_EQ(EnumName("CrossoverType", -1), "-1");

  const auto table = SettingsTable();
  const auto fmt = [&](const char* key, double v) {
    return FormatSettingValue(table[Row(key)], v);
  };
  EXPECT_EQ(fmt("CollinearDot", table[Row("CollinearDot")].max), "0.99999");
  EXPECT_EQ(fmt("ExploreDecayEpisodes", 1000000), "1000000");
  EXPECT_EQ(fmt("MinArcDistance", 300), "300.0");
  EXPECT_EQ(fmt("MenuScale", 1), "1.0");
  EXPECT_EQ(fmt("ArcAmplitude", static_cast<float>(0.35)), "0.35");
  EXPECT_EQ(fmt("L2", static_cast<float>(0.0001)), "0.0001");
  EXPECT_EQ(fmt("OverlayMaxDistance", 1000000), "1e+06");
  EXPECT_EQ(fmt("MenuKey", 120), "F9");
  EXPECT_EQ(fmt("Enabled", 0.2), "1");
  EXPECT_EQ(fmt("HiddenActivation", 2), "2");

  EXPECT_EQ(MenuKeyChoices().size(), 20u);
  EXPECT_EQ(MenuKeyChoices()[8], 120);
  EXPECT_EQ(MenuKeyChoices()[19], 145);
  EXPECT_EQ(MenuKeyWarning(116), "  F5/F6 belong to Glintmark - pick another key");
  EXPECT_EQ(MenuKeyWarning(119), "  F7/F8 belong to KorvathPalimarThugs - pick another key");
  EXPECT_EQ(MenuKeyWarning(122), "  F11 is the engine's fullscreen toggle - pick another key");
  EXPECT_EQ(MenuKeyWarning(120), "");
}

}  // namespace
}  // namespace kvr
