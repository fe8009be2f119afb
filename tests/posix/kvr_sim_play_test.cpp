// `kvr-sim play` as a modder runs it: a short match with the mod loaded as the mod host loads
// it, the same seed replaying the same match, and bad input answered with one line; and what the
// mod does in it: it hooks the arena's navmesh, passes its live self-test, reshapes the thugs'
// routes, and leaves the queries of the engine's other threads as the engine made them.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "posix/run_tool.h"
#include "settings/config_ini.h"
#include "test_support.h"

namespace {

using kvr::test::HaveSim;
using kvr::test::RunSim;

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
  const size_t damage = rules.find("\"damage\": ");
  ASSERT_NE(damage, std::string::npos);
  rules.replace(damage, rules.find(',', damage) - damage, "\"damage\": -5");
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

// The first number that `pattern`'s group 1 matches in the text, -1 when it does not match.
long long Number(const std::string& text, const std::string& pattern) {
  std::smatch m;
  return std::regex_search(text, m, std::regex(pattern)) ? std::stoll(m[1]) : -1;
}

TEST(KvrSimPlay, TheModHooksTheArenaAndReshapesTheThugsRoutes) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const std::string mod = dir.File("KorvathPalimarNeuralNav");
  const kvr::test::ToolRun r = kvr::test::RunTool(
      "kvr-sim", "play --thugs 6 --minutes 0.5 --seed 3 --nav-cache none --mod-dir " + mod);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex(R"(navmesh \d+ hooked: FindPath RVA 0x[0-9A-F]+ \(same structure, )"
                        R"(different build\), TestPath 0x[0-9A-F]+, TestHierarchical )"
                        R"(0x[0-9A-F]+, Raycast 0x[0-9A-F]+; query extent at \+0x26C )"
                        R"(\(reflection; dump says \+0x26C\) = \(50, 50, 250\))")))
      << r.out;
  EXPECT_NE(r.out.find("path memory layout self-test PASSED on 3 live paths (start point "
                       "matches the query) - reshaping enabled"),
            std::string::npos)
      << r.out;
  EXPECT_GT(Number(r.out, R"(episode ends, (\d+) reshaped routes\))"), 10) << r.out;
  EXPECT_EQ(r.out.find("a fault was caught"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("self-test failed"), std::string::npos) << r.out;
  // The engine's own threads planned beside the game thread, and got the engine's answers.
  EXPECT_GT(Number(r.out, R"(engine threads: (\d+) path queries)"), 0) << r.out;
  EXPECT_EQ(Number(r.out, R"(with a path, (\d+) not as the engine made them)"), 0) << r.out;
}

}  // namespace
