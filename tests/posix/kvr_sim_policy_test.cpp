// Policies through the mod's own files, for one match only: a fixed style plays that style in
// every episode, and the user's hand-edited config.ini and learned brain come back byte for
// byte; a suite study judges every run and names what is wrong with a suite file.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "../test_support.h"
#include "run_tool.h"

namespace kvr::test {
namespace {

using nlohmann::json;

ToolRun Match(const std::string& modDir, const std::string& policy, const std::string& report) {
  return RunTool("kvr-sim", "match --minutes 0.6 --thugs 4 --seed 2 --nav-cache none --policy '" +
                                policy + "' --mod-dir " + modDir + " --report " + report);
}

std::vector<std::string> EpisodeStyles(const std::string& log) {
  std::vector<std::string> styles;
  for (size_t at = 0; (at = log.find("] episode ", at)) != std::string::npos; ++at) {
    const size_t s = log.find(" style=", at) + 7;
    styles.push_back(log.substr(s, log.find(" progress=", s) - s));
  }
  return styles;
}

TEST(KvrSimPolicy, AFixedStylePlaysThatStyleAndTheUsersFilesComeBack) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  TempDir dir;
  const std::string mod = dir.File("mod");
  // A user's own folder: a hand-edited config with comments and a slip, and a brain.
  std::filesystem::create_directories(mod);
  const std::string config =
      "; tuned by hand\n[General]\nVerboseLog = 0\nMenuScale = 1,5 ; typo kept\n"
      "[NeuralNet]\nExploreMin = 0.1\n";
  WriteFile(mod + "/config.ini", config);
  ASSERT_EQ(Match(mod, "learned", dir.File("first")).status, 0);
  const std::string brain = ReadFile(mod + "/brain.kvrb");
  ASSERT_FALSE(brain.empty()) << "the learned match leaves its brain";
  EXPECT_EQ(ReadFile(mod + "/config.ini"), config) << "the policy lines were for that match only";

  const ToolRun fixed = Match(mod, "fixed:Wide Left", dir.File("fixed"));
  ASSERT_EQ(fixed.status, 0) << fixed.out;
  EXPECT_NE(fixed.out.find("policy fixed:Wide Left"), std::string::npos) << fixed.out;
  const std::vector<std::string> styles = EpisodeStyles(ReadFile(dir.File("fixed/mod.log")));
  ASSERT_GT(styles.size(), 5u);
  for (const std::string& s : styles) EXPECT_EQ(s, "Wide Left");
  EXPECT_EQ(ReadFile(mod + "/config.ini"), config);
  EXPECT_EQ(ReadFile(mod + "/brain.kvrb"), brain) << "the user's brain is put back";
  EXPECT_FALSE(std::filesystem::exists(mod + "/brain.kvrb.match-backup"));

  // Random leaves no exploration behind: the next learned match reads the user's file.
  ASSERT_EQ(Match(mod, "random", dir.File("random")).status, 0);
  EXPECT_EQ(ReadFile(mod + "/config.ini"), config);
  ASSERT_EQ(Match(mod, "learned", dir.File("again")).status, 0);
  const json again = json::parse(ReadFile(dir.File("again/summary.json")));
  EXPECT_LT(again["brain"]["explorationRate"].get<double>(), 0.5);

  const ToolRun bad = Match(mod, "fixed:Zigzag", dir.File("bad"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.out.find("unknown policy \"fixed:Zigzag\""), std::string::npos) << bad.out;
}

TEST(KvrSimPolicy, AFreshFolderKeepsNoPolicySettings) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  TempDir dir;
  ASSERT_EQ(Match(dir.File("mod"), "fixed:Direct", dir.File("r")).status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("mod/config.ini")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("mod/brain.kvrb")));
  // The report keeps what the mod played under.
  EXPECT_NE(ReadFile(dir.File("r/config.ini")).find("Population = 1"), std::string::npos);
}

TEST(KvrSimSuite, JudgesEveryRunAndWritesTheTables) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  TempDir dir;
  WriteFile(dir.File("s.json"),
            R"({"name": "small", "seeds": [3], "lastEpisodes": 50, "pretrainRuns": 1,
                "judge": {"WeightDamageTaken": 3, "WeightPlayerHit": 0},
                "policies": ["learned", "random", "fixed:Direct", "fixed:Arc Right"],
                "variants": [{"name": "four", "level": "default", "thugs": 4, "minutes": 0.5}]})");
  const ToolRun run = RunTool("kvr-sim", "study --suite " + dir.File("s.json") +
                                             " --nav-cache none --out " + dir.File("out"));
  ASSERT_EQ(run.status, 0) << run.out;
  const json suite = json::parse(ReadFile(dir.File("out/suite.json")));
  ASSERT_EQ(suite["variants"].size(), 1u);
  const json& v = suite["variants"][0];
  EXPECT_EQ(v["name"], "four");
  const double direct = v["policies"]["fixed:Direct"]["mean"].get<double>();
  const double arc = v["policies"]["fixed:Arc Right"]["mean"].get<double>();
  EXPECT_EQ(v["bestFixed"], direct >= arc ? "fixed:Direct" : "fixed:Arc Right");
  EXPECT_DOUBLE_EQ(suite["maxRegret"]["random"].get<double>(),
                   std::max(direct, arc) - v["policies"]["random"]["mean"].get<double>());
  EXPECT_EQ(v["policies"]["random"]["runs"], 1);
  // The random run's episodes, by style, from its own log.
  int valued = 0;
  for (const auto& [style, value] : v["perDecision"].items()) valued += value.is_number();
  EXPECT_GT(valued, 0) << v["perDecision"].dump();
  EXPECT_NE(run.out.find("one seed, no standard error"), std::string::npos) << run.out;
  EXPECT_NE(ReadFile(dir.File("out/four/table.txt")).find("fixed:Arc Right"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.File("out/suite.svg")));
  // The learned brain first played a session of its own on another seed, and the judged run
  // went on from the brain it left; the judged figures are the judged run's alone. Policies
  // that do not learn never pretrain.
  const json before =
      json::parse(ReadFile(dir.File("out/four/learned-seed3/pretrain-1/summary.json")));
  const json judged = json::parse(ReadFile(dir.File("out/four/learned-seed3/report/summary.json")));
  EXPECT_EQ(before["run"]["seed"], 100003);
  EXPECT_EQ(judged["run"]["seed"], 3);
  EXPECT_GT(before["brain"]["episodes"].get<uint64_t>(), 0u);
  EXPECT_EQ(judged["brain"]["episodesBefore"], before["brain"]["episodes"]);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out/four/random-seed3/pretrain-1")));
  // Every fixed run's episodes are that style's.
  const std::string log = ReadFile(dir.File("out/four/fixed-Arc-Right-seed3/report/mod.log"));
  for (const std::string& s : EpisodeStyles(log)) EXPECT_EQ(s, "Arc Right");

  WriteFile(dir.File("bad.json"), R"({"seeds": [1], "policies": ["random"],
      "variants": [{"name": "x", "level": "default", "rules": "none.rules.json"}]})");
  const ToolRun bad =
      RunTool("kvr-sim", "study --suite " + dir.File("bad.json") + " --out " + dir.File("b"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.out.find("none.rules.json"), std::string::npos) << bad.out;
  const ToolRun seed = RunTool("kvr-sim", "study --seed=-1 --out " + dir.File("c"));
  EXPECT_EQ(seed.status, 2) << seed.out;
}

}  // namespace
}  // namespace kvr::test
