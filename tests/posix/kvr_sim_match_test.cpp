// `kvr-sim match` and `kvr-sim study` end to end: the real mod module in the living arena, the
// summary, the report folder read back with the mod's own readers, and replays from the seed.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "../svg_check.h"
#include "../test_support.h"
#include "persistence/brain_file.h"
#include "run_tool.h"
#include "settings/config_ini.h"

namespace kvr::test {
namespace {

using nlohmann::json;

// A short match: a simulated minute with a few thugs is enough for episodes and reshapes.
ToolRun Match(const TempDir& dir, const std::string& policy, int seed, const std::string& name) {
  return RunTool("kvr-sim", "match --minutes 1 --thugs 5 --seed " + std::to_string(seed) +
                                " --policy " + policy + " --nav-cache none --mod-dir " +
                                dir.File(name + "/mod") + " --report " +
                                dir.File(name + "/report"));
}

size_t CountLines(const std::string& text, const std::string& start) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find("\n" + start, at)) != std::string::npos; ++at) ++n;
  return n + (text.rfind(start, 0) == 0 ? 1 : 0);
}

// Figures that must not depend on how fast the machine ran the match.
json WithoutTiming(json summary) {
  summary["run"].erase("wallSeconds");
  summary["run"].erase("timesRealTime");
  // The mod's own cost is real time too; how many frames it measured is not.
  for (const char* key : {"gameThreadMeanUs", "gameThreadP99Us", "gameThreadMaxUs"})
    summary["modCostPerFrame"].erase(key);
  return summary;
}

TEST(KvrSimMatch, LearnedMatchLeavesAReportThatAgreesWithTheModsFiles) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  TempDir dir;
  const ToolRun run = Match(dir, "learned", 3, "a");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("match: default, 5 thugs, 1.0 simulated minutes, seed 3, policy learned"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("reshaping: "), std::string::npos);

  const std::string report = dir.File("a/report");
  const json summary = json::parse(ReadFile(report + "/summary.json"));
  const std::string log = ReadFile(report + "/mod.log");
  // The episodes counted are the mod's own verbose lines, every one of them.
  const size_t episodeLines = CountLines(log, "[KorvathNeuralNav] episode ");
  EXPECT_GT(episodeLines, 10u) << "a minute of play should end a few episodes";
  EXPECT_EQ(summary["episodes"]["count"].get<size_t>(), episodeLines);
  EXPECT_EQ(summary["reshaping"]["reshaped"].get<size_t>(),
            CountLines(log, "[KorvathNeuralNav] reshaped "));
  EXPECT_GT(summary["reshaping"]["plans"].get<int>(), 0);

  // The brain in the report is the mod's file, and the summary quotes it.
  tactics::Brain brain;
  std::string error;
  persistence::BrainImage image;
  ASSERT_TRUE(
      persistence::DecodeBrainImage(ReadFile(report + "/brain.kvrb"), nullptr, image, error))
      << error;
  EXPECT_EQ(summary["brain"]["episodes"].get<uint64_t>(), image.totalEpisodes);
  EXPECT_EQ(image.totalEpisodes, episodeLines);  // a fresh folder: every episode was this match's
  Settings settings;
  std::string status;
  ASSERT_TRUE(ReadConfigIni(report + "/config.ini", settings, status));
  EXPECT_TRUE(settings.VerboseLog);
  EXPECT_TRUE(settings.NeuralTactics);

  const std::string csv = ReadFile(report + "/learning.csv");
  EXPECT_EQ(csv.rfind("block,episodes,minutes,count,mean_reward,exploration,", 0), 0u);
  for (const char* picture : {"/learning.svg", "/routes.svg"})
    EXPECT_EQ(SvgProblem(ReadFile(report + picture)), "") << picture;
}

TEST(KvrSimMatch, RandomAndRulePoliciesReachTheModThroughItsConfig) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  TempDir dir;
  ASSERT_EQ(Match(dir, "rule", 4, "rule").status, 0);
  const json rule = json::parse(ReadFile(dir.File("rule/report/summary.json")));
  EXPECT_EQ(rule["episodes"]["count"], 0) << "the emptier-side rule opens no episode";
  EXPECT_TRUE(rule["episodes"]["lastEpisodesReward"].is_null());
  EXPECT_GT(rule["reshaping"]["reshaped"].get<int>(), 0) << "the rule still flanks";

  ASSERT_EQ(Match(dir, "random", 4, "random").status, 0);
  const json random = json::parse(ReadFile(dir.File("random/report/summary.json")));
  EXPECT_FLOAT_EQ(random["brain"]["explorationRate"].get<float>(), 1.0f);
  EXPECT_GT(random["episodes"]["count"].get<int>(), 0);
  // Same seed, same arena: the game figures differ only through the policy's choices.
  EXPECT_EQ(random["run"]["seed"], rule["run"]["seed"]);
}

TEST(KvrSimMatch, TheSameSeedReplaysTheSameMatch) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  TempDir dir;
  ASSERT_EQ(Match(dir, "learned", 5, "one").status, 0);
  ASSERT_EQ(Match(dir, "learned", 5, "two").status, 0);
  const json one = json::parse(ReadFile(dir.File("one/report/summary.json")));
  const json two = json::parse(ReadFile(dir.File("two/report/summary.json")));
  EXPECT_EQ(WithoutTiming(one).dump(1), WithoutTiming(two).dump(1));
  EXPECT_EQ(ReadFile(dir.File("one/report/learning.csv")),
            ReadFile(dir.File("two/report/learning.csv")));
}

TEST(KvrSimMatch, BadInputGetsOneLineAndStatusTwo) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  TempDir dir;
  const ToolRun policy = RunTool("kvr-sim", "match --policy greedy --mod-dir " + dir.File("m"));
  EXPECT_EQ(policy.status, 2) << policy.out;
  const ToolRun level = RunTool("kvr-sim", "match --minutes 0.1 --level " + dir.File("none.json") +
                                               " --mod-dir " + dir.File("m"));
  EXPECT_EQ(level.status, 2) << level.out;
  EXPECT_NE(level.out.find("kvr-sim match: "), std::string::npos) << level.out;
}

// A study of three policies with one seed each, twice: the table comes back the same from the
// seeds, and every figure is the one in its run's summary.json.
TEST(KvrSimStudy, ReproducesItsTableAndAgreesWithEveryRun) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  TempDir dir;
  const std::string args =
      "study --minutes 0.5 --thugs 4 --seeds 1 --first-seed 2 "
      "--nav-cache none --out ";
  const ToolRun first = RunTool("kvr-sim", args + dir.File("first"), false);
  ASSERT_EQ(first.status, 0) << first.out;
  const ToolRun second = RunTool("kvr-sim", args + dir.File("second"), false);
  ASSERT_EQ(second.status, 0) << second.out;
  EXPECT_EQ(ReadFile(dir.File("first/study.txt")), ReadFile(dir.File("second/study.txt")));
  EXPECT_EQ(SvgProblem(ReadFile(dir.File("first/study.svg"))), "");

  const json study = json::parse(ReadFile(dir.File("first/study.json")));
  ASSERT_EQ(study["runs"].size(), 3u);
  for (const json& run : study["runs"]) {
    const std::string name =
        run["policy"].get<std::string>() + "-seed" + std::to_string(run["seed"].get<int>());
    const json summary = json::parse(ReadFile(dir.File("first/" + name + "/report/summary.json")));
    EXPECT_EQ(run["lastEpisodesReward"], summary["episodes"]["lastEpisodesReward"]) << name;
    EXPECT_EQ(run["playerChunksPerMinute"], summary["game"]["playerChunksPerMinute"]) << name;
    EXPECT_EQ(run["thugDamagePerEpisode"], summary["game"]["thugDamagePerEpisode"]) << name;
  }
  // One seed per policy: the policy's mean is that run's figure.
  for (const json& row : study["policies"]) {
    const std::string name = row["policy"].get<std::string>() + "-seed2";
    const json summary = json::parse(ReadFile(dir.File("first/" + name + "/report/summary.json")));
    EXPECT_EQ(row["playerChunksPerMinute"]["mean"], summary["game"]["playerChunksPerMinute"]);
  }
}

}  // namespace
}  // namespace kvr::test
