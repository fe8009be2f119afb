// `kvr-sim play` as a modder runs it: a short match with the mod loaded as the mod host loads
// it, the same seed replaying the same match, and bad input answered with one line.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "posix/run_tool.h"
#include "settings/config_ini.h"
#include "test_support.h"

namespace {

kvr::test::ToolRun RunSim(const std::string& args, bool foldErrors = true) {
  return kvr::test::RunTool("kvr-sim", args, foldErrors);
}

bool HaveSim() {
  return std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/kvr-sim");
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(KvrSimPlay, AShortMatchWithTheModPrintsItsSummary) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const std::string mod = dir.File("KorvathPalimarNeuralNav");
  const auto r = RunSim("play --thugs 4 --minutes 0.5 --seed 3 --mod-dir " + mod + " --nav-cache " +
                        dir.File("cache"));
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* part : {"4 thugs, 0.5 simulated minutes, seed 3\n",
                           "(config.ini written with the defaults and VerboseLog = 1)\n",
                           "episodes ended: ", "\nplayer: ", " health chunks lost", "\nthugs: ",
                           " deaths, ", "\nroutes: ", "path queries through the navmesh slot",
                           "\nmod log: ", "[KorvathNeuralNav] fresh brain (no saved brain yet)",
                           "\nspeed: 30.0 simulated seconds in "})
    EXPECT_TRUE(Has(r.out, part)) << part << "\n" << r.out;
  EXPECT_TRUE(std::filesystem::exists(mod + "/dlls/main.dll"));
  kvr::Settings settings;
  std::string status;
  ASSERT_TRUE(kvr::ReadConfigIni(mod + "/config.ini", settings, status));
  EXPECT_TRUE(settings.VerboseLog);
}

// The summary without its speed line (wall time differs from run to run).
std::string WithoutSpeed(const std::string& out) {
  std::istringstream in(out);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.rfind("speed:", 0) != 0 && line.rfind("level:", 0) != 0) kept += line + "\n";
  return kept;
}

TEST(KvrSimPlay, WithoutTheModTheSameSeedPlaysTheSameMatch) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const std::string args = "play --thugs 6 --minutes 1 --nav-cache " + dir.File("cache");
  const auto first = RunSim(args + " --seed 9");
  const auto second = RunSim(args + " --seed 9");
  const auto other = RunSim(args + " --seed 10");
  ASSERT_EQ(first.status, 0) << first.out;
  EXPECT_TRUE(Has(first.out, "mod: none (thugs walk the engine's own routes)")) << first.out;
  EXPECT_FALSE(Has(first.out, "(navmesh from cache)"));
  EXPECT_TRUE(Has(second.out, "(navmesh from cache)"));
  EXPECT_EQ(WithoutSpeed(second.out), WithoutSpeed(first.out));
  EXPECT_NE(WithoutSpeed(other.out), WithoutSpeed(first.out));
}

TEST(KvrSimPlay, BadInputGetsOneLineAndStatusTwo) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  std::string rules =
      kvr::test::ReadFile(std::string(KVR_SOURCE_DIR) + "/data/levels/arena.rules.json");
  rules.replace(rules.find("\"damage\": 18"), 12, "\"damage\": -5");
  kvr::test::WriteFile(dir.File("bad.rules.json"), rules);
  kvr::test::WriteFile(dir.File("map.json"),
                       R"({"floor": {"min": [0, 0], "max": [1000, 1000], "z": 0}})");
  const struct {
    std::string args;
    const char* says;
  } cases[] = {
      {"play --minutes 0.1 --rules " + dir.File("bad.rules.json"), "\"shooting.damage\" = -5"},
      {"play --minutes 0.1 --level " + dir.File("map.json"), "names no player start"},
      {"play --minutes 0.1 --level /nonexistent/level.json", "cannot read level file"},
      {"play --minutes 0", "--minutes"},
  };
  for (const auto& c : cases) {
    const auto r = RunSim(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
    EXPECT_TRUE(Has(r.out, c.says)) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  }
}

}  // namespace
