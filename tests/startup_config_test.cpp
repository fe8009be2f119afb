// Start-up when config.ini can be neither read nor written: the mod runs on the defaults and
// says so in its first log line and the config status.
#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace kvr
