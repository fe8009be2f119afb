// The real mod module (main.dll under Windows/Wine, the shared object elsewhere) loaded by the
// stand-in host from <mod dir>/dlls/, as the mod host loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "settings/config_ini.h"
#include "sim/standin_host.h"
#include "test_support.h"

namespace kvr::sim {
namespace {

const std::string kPrefix = "[KorvathNeuralNav] ";

// The lines of the mod's lifecycle and update; the overlay's own lines (the Windows build
// installs its swap-chain hooks at start-up) are checked by the overlay's tests.
BootReport Boot(BootOptions options) {
  BootReport report;
  std::string error;
  EXPECT_TRUE(RunBoot(options, report, error)) << error;
  std::erase_if(report.lines,
                [](const std::string& line) { return line.starts_with(kPrefix + "overlay"); });
  return report;
}

TEST(StandInHost, FreshModFolderThenASecondStartReadsWhatTheFirstWrote) {
  test::TempDir dir;
  BootReport first = Boot({.modDir = dir.Path().string(), .ticks = 10});
  ASSERT_GE(first.lines.size(), 3u);
  EXPECT_EQ(
      first.lines[0],
      kPrefix +
          "v1.0.1 by Dunmere (Halvenor) - config.ini not found - using defaults; wrote a fresh "
          "documented config.ini");
  EXPECT_EQ(first.lines[1], kPrefix + "fresh brain (no saved brain yet)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      first.lines[2], m,
      std::regex(
          R"(\[KorvathNeuralNav\] game code section 0x([0-9A-F]+)\.\.0x([0-9A-F]+); waiting for a level)")));
  EXPECT_LT(std::stoull(m[1], nullptr, 16), std::stoull(m[2], nullptr, 16));
  EXPECT_EQ(test::ReadFile(dir.File("config.ini")), BuildConfigIniText(Settings{}));
  EXPECT_EQ(first.frames, 10u);

  // The second start finds the files of the first: the config file and the brain saved at exit.
  BootReport second = Boot({.modDir = dir.Path().string(), .ticks = 40, .frameSeconds = 0.05});
  ASSERT_GE(second.lines.size(), 4u);
  EXPECT_EQ(second.lines[0],
            kPrefix +
                "v1.0.1 by Dunmere (Halvenor) - config.ini: 62 settings read, 0 missing (defaults "
                "used), 0 unreadable (defaults used); all clamped to their documented ranges");
  EXPECT_EQ(second.lines[1], kPrefix + "loaded brain.kvrb: 0 episodes, generation 0");
  EXPECT_EQ(second.lines[3], kPrefix +
                                 "navigation queries: K2_ProjectPointToNavigation OK (64 bytes), "
                                 "NavigationRaycast OK (72 bytes)");
}

TEST(StandInHost, TwentyRealFaultsAreContainedAndTheGuardTripsOnce) {
  test::TempDir dir;
  BootReport report =
      Boot({.modDir = dir.Path().string(), .ticks = 40, .frameSeconds = 0.6, .injectFaults = 20});
  EXPECT_EQ(report.faultsInjected, 20);
  EXPECT_EQ(report.faultsCaught, 20) << "every corrupt object was asked about, and survived";
  EXPECT_EQ(report.frames, 40u) << "the host keeps running";
  const std::string tripped =
      kPrefix +
      "20 faults caught in the per-frame update - mod stepped aside (paths restored to vanilla)";
  EXPECT_EQ(std::count(report.lines.begin(), report.lines.end(), tripped), 1);
  ASSERT_EQ(report.lines.size(), 4u);
  EXPECT_EQ(report.lines[3], tripped);
}

TEST(StandInHost, NineteenFaultsLeaveTheModRunning) {
  test::TempDir dir;
  BootReport report =
      Boot({.modDir = dir.Path().string(), .ticks = 40, .frameSeconds = 0.6, .injectFaults = 19});
  EXPECT_EQ(report.faultsInjected, 19);
  EXPECT_EQ(report.faultsCaught, 19);
  ASSERT_EQ(report.lines.size(), 4u);
  // After the faults stop, the update runs on and finds the real navigation system.
  EXPECT_EQ(report.lines[3], kPrefix +
                                 "navigation queries: K2_ProjectPointToNavigation OK (64 bytes), "
                                 "NavigationRaycast OK (72 bytes)");
}

TEST(StandInHost, AMissingModuleIsAnErrorNotACrash) {
  test::TempDir dir;
  BootReport report;
  std::string error;
  EXPECT_FALSE(
      RunBoot({.modDir = dir.Path().string(), .modBinary = dir.File("nope.dll")}, report, error));
  EXPECT_NE(error.find("cannot install"), std::string::npos) << error;
}

}  // namespace
}  // namespace kvr::sim
