// Start-up when config.ini can be neither read nor written: the mod runs on the defaults and
// says so in its first log line and the config status.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/mod_state.h"
#include "mod_fixture.h"

namespace kvr {
namespace {

class StartupConfig : public test::ModFixture {};

TEST_F(StartupConfig, AConfigThatCannotBeWrittenIsReportedAndTheDefaultsRun) {
  // A folder where the writer's temporary file has to go: no file can be made there.
  std::filesystem::create_directory(dir_.File("config.ini.tmp"));
  mod::ModRuntime& rt = StartMod();
  const std::string status = "config.ini not found - using defaults; could not write config.ini";
  EXPECT_EQ(rt.configStatus, status);
  ASSERT_FALSE(Lines().empty());
  EXPECT_EQ(Lines()[0], "[KorvathNeuralNav] v1.0.1 by Dunmere (Halvenor) - " + status + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("config.ini")));
  EXPECT_EQ(rt.gameSettings.Population, Settings{}.Population);
  EXPECT_TRUE(rt.initialized);
}

// Players have no checker at hand: the log names the lines the mod could not read as written,
// right after the start-up line, which stays as it always was.
TEST_F(StartupConfig, LinesTheModCannotReadAreNamedAfterTheStartUpLine) {
  test::WriteFile(dir_.File("config.ini"),
                  "[General]\r\nMenuScale = 1,5\r\n[NeuralNet]\r\nLearnRate = 0.1\r\n"
                  "Population = many\r\nHiddenLayer1 = 99\r\n");
  mod::ModRuntime& rt = StartMod();
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "[KorvathNeuralNav] v1.0.1 by Dunmere (Halvenor) - config.ini: 3 settings read, 59 "
            "missing (defaults used), 1 unreadable (defaults used); all clamped to their "
            "documented ranges\n");
  // The clamped HiddenLayer1 is read, only not as written: a warning, not named here.
  EXPECT_EQ(lines[1],
            "[KorvathNeuralNav] config.ini: 3 lines were not read as written - line 2: MenuScale "
            "= \"1,5\" reads as 1: decimals take a full stop (1.5) | line 4: unknown key "
            "\"LearnRate\" in [NeuralNet]; the mod ignores it (did you mean LearningRate?) | line "
            "5: Population = \"many\" is not a number; the mod uses the default 8\n");
  EXPECT_EQ(lines[2], "[KorvathNeuralNav] fresh brain (no saved brain yet)\n");

  // The menu's reload names them the same way, after the reader's own line.
  test::WriteFile(dir_.File("config.ini"), "[NeuralNet]\nPopulation = 4\nEnabled = 0\n");
  ModState::Get().requestReloadSettings = 1;
  for (int i = 0; i < 100000 && ModState::Get().requestReloadSettings.load() != 0; ++i)
    world_.Tick(0.1);
  ASSERT_EQ(ModState::Get().requestReloadSettings.load(), 0u);
  EXPECT_EQ(Lines().back(),
            "[KorvathNeuralNav] config.ini: 1 line was not read as written - line 3: unknown key "
            "\"Enabled\" in [NeuralNet]; the mod ignores it (Enabled belongs in [General])\n");
  EXPECT_EQ(rt.configStatus.rfind("config.ini: 1 settings read", 0), 0u) << rt.configStatus;
}

TEST_F(StartupConfig, AFileTheModReadsAsWrittenAddsNoLine) {
  test::WriteFile(dir_.File("config.ini"), "[NeuralNet]\nPopulation = 40\n");  // clamped
  StartMod();
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "[KorvathNeuralNav] fresh brain (no saved brain yet)\n");
}

}  // namespace
}  // namespace kvr
