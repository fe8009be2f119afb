// Match reports: the mod's verbose lines read back, the statistics, summary.json and its
// round trip, learning.csv, and the pictures (well formed, titled, with legends).
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "nav_fixture.h"
#include "settings/config_ini.h"
#include "sim/report/learning_curve.h"
#include "sim/report/match_summary.h"
#include "sim/report/mod_log.h"
#include "sim/report/routes_picture.h"
#include "sim/report/stats.h"
#include "sim/report/study.h"
#include "sim/report/svg.h"
#include "svg_check.h"
#include "test_support.h"

namespace kvr::sim::report {
namespace {

using nlohmann::json;

TEST(ReportModLog, EpisodeLinesWithEveryField) {
  EpisodeLine e;
  ASSERT_TRUE(ParseEpisodeLine(
      "[KorvathNeuralNav] episode controller gone: BP_ArmedThug_C style=Weave Right "
      "progress=-0.25 dmg=0.40 hits=1.50 spacing=0.75 -> reward 0.312 (loss 0.0123)\n",
      e));
  EXPECT_EQ(e.reason, "controller gone");
  EXPECT_EQ(e.pawnClass, "BP_ArmedThug_C");
  EXPECT_EQ(e.style, 6);
  EXPECT_FLOAT_EQ(e.progress, -0.25f);
  EXPECT_FLOAT_EQ(e.damage, 0.40f);
  EXPECT_FLOAT_EQ(e.hits, 1.50f);
  EXPECT_FLOAT_EQ(e.spacing, 0.75f);
  EXPECT_FLOAT_EQ(e.reward, 0.312f);
  EXPECT_FLOAT_EQ(e.loss, 0.0123f);
  // Without the prefix, as the mod formats it before logging.
  ASSERT_TRUE(
      ParseEpisodeLine("episode re-plan: P style=Direct progress=1.00 dmg=0.00 "
                       "hits=0.00 spacing=1.00 -> reward 0.818 (loss 0.0000)",
                       e));
  EXPECT_EQ(e.reason, "re-plan");
  EXPECT_EQ(e.style, 0);
}

TEST(ReportModLog, OtherAndDamagedLinesAreRefused) {
  EpisodeLine e;
  ReshapeLine r;
  const char* refused[] = {
      "path memory layout self-test PASSED on 3 live paths",
      "episode time: P style=Zigzag progress=1.00 dmg=0.00 hits=0.00 spacing=1.00 -> reward "
      "0.818 (loss 0.0000)",
      "episode time: P style=Direct progress=1.00 dmg=0.00 hits=0.00 spacing=1.00 -> reward",
      "episode time: P style=Direct progress=1.00 dmg=0.00 hits=0.00 spacing=1.00 -> reward "
      "0.818 (loss 0.0000) and more",
      "reshaped P: Arc Left, 2 -> 5 points, 1200 -> 1400 cm, 31 queries",
      "reshaped P Arc Left, 2 -> 5 points, 1200 -> 1400 cm, 31 queries, 0.40 ms",
  };
  for (const char* line : refused) {
    EXPECT_FALSE(ParseEpisodeLine(line, e)) << line;
    EXPECT_FALSE(ParseReshapeLine(line, r)) << line;
  }
}

TEST(ReportModLog, ReshapeLines) {
  ReshapeLine r;
  ASSERT_TRUE(
      ParseReshapeLine("[KorvathNeuralNav] reshaped BP_Thug_C: Wide Left, 2 -> 7 "
                       "points, 2400 -> 2911 cm, 57 queries, 0.83 ms",
                       r));
  EXPECT_EQ(r.pawnClass, "BP_Thug_C");
  EXPECT_EQ(r.style, 3);
  EXPECT_EQ(r.enginePoints, 2);
  EXPECT_EQ(r.newPoints, 7);
  EXPECT_FLOAT_EQ(r.engineCm, 2400.0f);
  EXPECT_FLOAT_EQ(r.newCm, 2911.0f);
  EXPECT_EQ(r.queries, 57);
  EXPECT_EQ(r.fromMemory, 0) << "a line without the memo's figure";
  EXPECT_FLOAT_EQ(r.ms, 0.83f);

  ASSERT_TRUE(ParseReshapeLine(
      "reshaped P: Arc Right, 3 -> 6 points, 900 -> 1010 cm, 190 queries, 41 from memory, "
      "0.52 ms",
      r));
  EXPECT_EQ(r.style, 2);
  EXPECT_EQ(r.queries, 190);
  EXPECT_EQ(r.fromMemory, 41);
  EXPECT_FLOAT_EQ(r.ms, 0.52f);
  EXPECT_FALSE(ParseReshapeLine(
      "reshaped P: Arc Right, 3 -> 6 points, 900 -> 1010 cm, 19 queries, 41 from memory, 0.5 ms",
      r))
      << "more answered from memory than asked";
}

TEST(ReportModLog, CostLines) {
  CostLine c;
  ASSERT_TRUE(
      ParseCostLine("[KorvathNeuralNav] cost per frame since start: game thread 8.25 us "
                    "avg, 180.0 us p99, 2104.5 us max over 36000 frames",
                    c));
  EXPECT_DOUBLE_EQ(c.meanUs, 8.25);
  EXPECT_DOUBLE_EQ(c.p99Us, 180.0);
  EXPECT_DOUBLE_EQ(c.maxUs, 2104.5);
  EXPECT_EQ(c.frames, 36000u);
  for (const char* bad : {
           "cost per frame since start: game thread 8.25 us avg, 180.0 us p99, 2104.5 us max",
           "cost per frame since start: game thread 8.25 us avg, 180.0 us p99, 90.0 us max over "
           "5 frames",  // a largest frame below the 99th percentile is no measurement
           "cost per frame since start: game thread x us avg, 1 us p99, 2 us max over 5 frames",
       })
    EXPECT_FALSE(ParseCostLine(bad, c)) << bad;
}

TEST(ReportStats, MeanAndStandardError) {
  const double values[] = {1, 2, 3, 4};
  const MeanError m = MeanAndError(values);
  EXPECT_EQ(m.n, 4u);
  EXPECT_DOUBLE_EQ(m.mean, 2.5);
  EXPECT_NEAR(m.stdError, std::sqrt(5.0 / 3.0) / 2.0, 1e-12);  // s = sqrt(5/3), n = 4
  // Runs without a figure (NaN) are left out rather than poisoning the mean.
  const double withGaps[] = {NAN, 2.0, NAN, 4.0};
  EXPECT_DOUBLE_EQ(MeanAndError(withGaps).mean, 3.0);
  EXPECT_EQ(MeanAndError(withGaps).n, 2u);
  const double one[] = {7.0};
  EXPECT_EQ(MeanAndError(one).stdError, 0.0);
  EXPECT_TRUE(std::isnan(MeanAndError({}).mean));
}

TEST(ReportStats, BlocksAndTail) {
  std::vector<double> v(250);
  for (size_t i = 0; i < v.size(); ++i) v[i] = i < 100 ? 0.0 : (i < 200 ? 1.0 : 0.5);
  EXPECT_EQ(BlockMeans(v, 100), (std::vector<double>{0.0, 1.0, 0.5}));  // 50 = half a block
  v.resize(249);
  EXPECT_EQ(BlockMeans(v, 100).size(), 2u);  // 49 left over: dropped
  EXPECT_DOUBLE_EQ(TailMean(v, 49), 0.5);
  EXPECT_DOUBLE_EQ(TailMean(v, 10000), (100.0 + 49 * 0.5) / 249.0);
  EXPECT_TRUE(std::isnan(TailMean({}, 5)));
}

// The policy reaches the mod only through config.ini: written by the mod's writer, read by
// the mod's reader, it must say what the policy means.
TEST(ReportPolicy, SettingsThroughTheModsConfigFile) {
  test::TempDir dir;
  for (Policy p : kPolicies) {
    Settings s;
    ApplyPolicy(p, s);
    ASSERT_TRUE(WriteConfigIni(dir.File("config.ini"), s));
    Settings read;
    std::string status;
    ASSERT_TRUE(ReadConfigIni(dir.File("config.ini"), read, status));
    EXPECT_TRUE(read.VerboseLog) << PolicyName(p);
    EXPECT_EQ(read.NeuralTactics, p != Policy::kRule) << PolicyName(p);
    // A folder that ran the rule before gets its network back for the other policies.
    Settings after = read;
    ApplyPolicy(p == Policy::kRule ? Policy::kLearned : Policy::kRule, after);
    EXPECT_EQ(after.NeuralTactics, p == Policy::kRule) << PolicyName(p);
    EXPECT_FLOAT_EQ(read.ExploreStart, p == Policy::kRandom ? 1.0f : 0.3f) << PolicyName(p);
    EXPECT_FLOAT_EQ(read.ExploreMin, p == Policy::kRandom ? 1.0f : 0.05f) << PolicyName(p);
    Policy back;
    ASSERT_TRUE(ParsePolicy(PolicyName(p), back));
    EXPECT_EQ(back, p);
  }
  Policy unused;
  EXPECT_FALSE(ParsePolicy("greedy", unused));
}

// A record with known figures: 250 episodes over 10 simulated minutes, rewards by style.
MatchRecord SampleRecord() {
  MatchRecord r;
  r.run = {"default", 12, 10.0, 7, Policy::kLearned, 4.0, "native"};
  for (int i = 0; i < 250; ++i) {
    TimedEpisode e;
    e.simSeconds = 600.0 * (i + 1) / 250.0;
    e.line.reason = i % 5 == 0 ? "died" : "re-plan";
    e.line.style = i % 7;
    e.line.reward = e.line.style == 3 ? 0.9f : 0.5f;
    e.line.damage = i % 2 ? 0.2f : 0.0f;
    r.episodes.push_back(e);
  }
  for (int i = 0; i < 40; ++i) {
    TimedReshape t;
    t.simSeconds = i;
    t.line.style = 1 + i % 6;
    t.line.engineCm = 1000.0f;
    t.line.newCm = 1200.0f;
    t.line.queries = 30;
    t.line.fromMemory = i % 2 ? 6 : 0;
    t.line.ms = i == 17 ? 2.5f : 0.5f;
    r.reshapes.push_back(t);
  }
  r.game.simSeconds = 600.0;
  r.game.playerChunksLost = 30.0;
  r.game.thugDeaths = 20;
  r.game.thugDamage = 25.0;
  r.game.spacingSumCm = 4000.0;
  r.game.spacingSamples = 10;
  r.game.plans = 100;
  r.game.failedPlans = 3;
  r.game.frames = 18000;
  r.game.modelledNavigationSeconds = 9.0;
  r.modCost = {8.5, 190.0, 2100.0, 18000};
  r.brain = {true, "", 250, 5, 0.01f, 250, 8};
  return r;
}

TEST(ReportSummary, FiguresFromTheRecord) {
  const MatchSummary s = Summarize(SampleRecord());
  EXPECT_EQ(s.episodes, 250u);
  EXPECT_EQ(s.endReasons.at("died"), 50u);
  EXPECT_EQ(s.endReasons.at("re-plan"), 200u);
  EXPECT_EQ(s.styles[3].reward.n, 36u);  // i % 7 == 3 for i < 250
  EXPECT_NEAR(s.styles[3].reward.mean, 0.9, 1e-6);
  EXPECT_NEAR(s.styles[0].reward.mean, 0.5, 1e-6);
  EXPECT_EQ(s.reshaped, 40u);
  EXPECT_EQ(s.kept, 57u);  // 100 plans, 3 without a path, 40 reshaped
  EXPECT_NEAR(s.meanBuildMs, (39 * 0.5 + 2.5) / 40.0, 1e-6);
  EXPECT_NEAR(s.maxBuildMs, 2.5, 1e-6);
  EXPECT_NEAR(s.queriesPerBuild, 30.0, 1e-9);
  EXPECT_NEAR(s.engineQueriesPerBuild, 27.0, 1e-9) << "half the builds answered 6 from memory";
  EXPECT_NEAR(s.lengthGain, 0.2, 1e-6);
  EXPECT_DOUBLE_EQ(s.simMinutes, 10.0);
  EXPECT_DOUBLE_EQ(s.speed, 150.0);
  EXPECT_DOUBLE_EQ(s.chunksPerMinute, 3.0);
  EXPECT_DOUBLE_EQ(s.thugDeathsPerMinute, 2.0);
  EXPECT_NEAR(s.thugDamagePerEpisode, 0.2 * 125 / 250, 1e-6);
  EXPECT_DOUBLE_EQ(s.meanSpacingCm, 400.0);
  // The mod's exploration schedule after 250 episodes with the default settings.
  EXPECT_NEAR(s.explorationEnd, 0.3 + (0.05 - 0.3) * 250.0 / 600.0, 1e-6);
  const std::string table = SummaryTable(s);
  for (const char* text :
       {"policy learned", "died 50", "Wide Left", "100 thug plans", "2.50 ms largest",
        "player chunks lost 3.00", "30.0 asked, 27.0 run on the engine, 3.0 repeats",
        "8.50 us avg, 190.0 us p99, 2100.0 us max over 18000 frames",
        "500.0 us per frame over 18000 frames"})
    EXPECT_NE(table.find(text), std::string::npos) << text << "\n" << table;
}

TEST(ReportSummary, JsonHoldsEveryFigureAndReadsBack) {
  MatchRecord record = SampleRecord();
  record.run.policy = Policy::kRule;
  record.episodes.clear();  // the rule opens no episodes: reward figures do not exist
  const MatchSummary s = Summarize(record);
  const std::string text = SummaryJson(s);
  const json j = json::parse(text);
  EXPECT_TRUE(j["episodes"]["lastEpisodesReward"].is_null());
  EXPECT_TRUE(j["game"]["thugDamagePerEpisode"].is_null());
  EXPECT_EQ(j["run"]["policy"], "rule");
  EXPECT_EQ(j["episodes"]["styles"].size(), 7u);
  for (const char* key : {"playerChunksPerMinute", "thugDeathsPerMinute", "thugDamagePerMinute",
                          "meanSpacingCm", "playerChunksLost", "thugDeaths", "thugDamage"})
    EXPECT_TRUE(j["game"][key].is_number()) << key;
  for (const char* key : {"plans", "reshaped", "kept", "failed", "meanBuildMs", "maxBuildMs",
                          "queriesPerBuild", "engineQueriesPerBuild"})
    EXPECT_TRUE(j["reshaping"][key].is_number()) << key;

  MatchSummary back;
  std::string error;
  ASSERT_TRUE(ParseSummaryJson(text, back, error)) << error;
  EXPECT_EQ(back.run.policy, Policy::kRule);
  EXPECT_EQ(back.run.seed, 7u);
  EXPECT_TRUE(std::isnan(back.tailReward));
  EXPECT_DOUBLE_EQ(back.chunksPerMinute, s.chunksPerMinute);
  EXPECT_EQ(back.reshaped, s.reshaped);
  EXPECT_DOUBLE_EQ(back.engineQueriesPerBuild, s.engineQueriesPerBuild);
  EXPECT_TRUE(j["modCostPerFrame"]["overlayMeanUs"].is_null()) << "no overlay in a match";
  EXPECT_DOUBLE_EQ(j["modCostPerFrame"]["gameThreadP99Us"], 190.0);
  EXPECT_EQ(back.modCost.frames, 18000u);
  EXPECT_DOUBLE_EQ(back.modCost.meanUs, 8.5);
  EXPECT_DOUBLE_EQ(back.modelledNavigationUsPerFrame, 500.0);
  record.modCost = {};
  EXPECT_TRUE(json::parse(SummaryJson(Summarize(record)))["modCostPerFrame"].is_null())
      << "a mod that reported no cost";
  EXPECT_EQ(back.brain.generation, 5u);
  EXPECT_EQ(SummaryJson(back), text);  // nothing lost on the way

  EXPECT_FALSE(ParseSummaryJson("{\"run\": 3}", back, error));
  EXPECT_FALSE(ParseSummaryJson("not json", back, error));
  json wrongType = j;
  wrongType["run"]["thugs"] = "twelve";
  EXPECT_FALSE(ParseSummaryJson(wrongType.dump(), back, error));
}

TEST(ReportLearning, CsvRowsPerHundredEpisodes) {
  const MatchRecord record = SampleRecord();
  const std::vector<LearningRow> rows = LearningCurve(record);
  ASSERT_EQ(rows.size(), 3u);  // 100, 100 and a last block of 50
  EXPECT_EQ(rows[2].count, 50u);
  EXPECT_EQ(rows[2].lastEpisode, 250u);
  EXPECT_NEAR(rows[0].exploration, 0.3 + (0.05 - 0.3) * 100.0 / 600.0, 1e-6);
  const std::string csv = LearningCsv(rows);
  std::vector<std::string> lines;
  for (size_t at = 0, next; (next = csv.find('\n', at)) != std::string::npos; at = next + 1)
    lines.push_back(csv.substr(at, next - at));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("block,episodes,minutes,count,mean_reward,exploration,direct_count,"
                           "direct_reward,arc_left_count",
                           0),
            0u);
  for (const std::string& line : lines)
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 6 + 2 * 7 - 1) << line;
  // Block 1 holds episodes 0..99: style 3 (reward 0.9) 14 times, the rest 0.5.
  EXPECT_NE(lines[1].find(",14,0.9000,"), std::string::npos) << lines[1];
  EXPECT_NEAR(rows[0].meanReward, (86 * 0.5 + 14 * 0.9) / 100.0, 1e-6);
}

TEST(ReportPictures, LearningAndStudyPicturesAreWellFormedAndLabelled) {
  MatchRecord record = SampleRecord();
  record.run.level = "arena <A&B>";
  const std::string learning = LearningSvg(LearningCurve(record), "Learning - arena <A&B>");
  EXPECT_EQ(test::SvgProblem(learning), "");
  for (const char* text :
       {"Learning - arena &lt;A&amp;B&gt;", "episodes judged",
        "mean reward (0..1) / exploration rate", "exploration rate", "Weave Right", "all styles"})
    EXPECT_NE(learning.find(text), std::string::npos) << text;
  EXPECT_EQ(test::SvgProblem(LearningSvg({}, "empty")), "");

  std::vector<MatchSummary> runs;
  for (Policy p : kPolicies)
    for (uint64_t seed : {1, 2, 3}) {
      MatchRecord r = SampleRecord();
      r.run.policy = p, r.run.seed = seed;
      if (p == Policy::kRule) r.episodes.clear();
      runs.push_back(Summarize(r));
    }
  const std::string study = StudySvg(SummarizeStudy(runs), "Study");
  EXPECT_EQ(test::SvgProblem(study), "");
  for (const char* text : {"chunks per simulated minute", "reward (0..1)", "learned", "random",
                           "rule", "standard error over seeds", "best fixed style (Wide Left"})
    EXPECT_NE(study.find(text), std::string::npos) << text;
}

TEST(ReportPictures, RoutesOnTheArena) {
  const test::NavLevel& arena = test::Arena();
  MatchRecord record = SampleRecord();
  ThugRoute reshaped;
  reshaped.style = 3;
  reshaped.reshaped = true;
  reshaped.engine = {aps::NavPoint{{-2000, -2000, 0}}, aps::NavPoint{{2000, 2000, 0}}};
  reshaped.walked = {aps::NavPoint{{-2000, -2000, 0}}, aps::NavPoint{{-500, 1000, 0}},
                     aps::NavPoint{{2000, 2000, 0}}};
  ThugRoute kept;
  kept.engine = {aps::NavPoint{{0, -2500, 0}}, aps::NavPoint{{0, -1000, 0}}};
  kept.walked = kept.engine;
  kept.alive = false;
  record.lastRoutes = {reshaped, kept};
  record.player = {{2000, 2000, 0}, 90.0f, 60.0f, 1500.0f};
  const std::string svg = RoutesSvg(record, arena.level, arena.mesh, "Last routes");
  EXPECT_EQ(test::SvgProblem(svg), "");
  const std::string wideLeft = ReadableStyleColour(3);
  EXPECT_NE(svg.find("stroke=\"" + wideLeft + "\" stroke-width=\"3.5\""), std::string::npos);
  EXPECT_NE(svg.find("stroke=\"" + wideLeft + "\" stroke-width=\"1.2\" stroke-dasharray"),
            std::string::npos);
  for (const char* text :
       {"Last routes", "reshaped route (thick)", "engine route (thin", "player", "10 m", "Direct"})
    EXPECT_NE(svg.find(text), std::string::npos) << text;
}

TEST(ReportStudy, MeansOverSeedsAndTheBestFixedStyle) {
  std::vector<MatchSummary> runs;
  for (Policy p : kPolicies)
    for (uint64_t seed : {3, 1, 2}) {
      MatchSummary s;
      s.run.policy = p, s.run.seed = seed;
      s.tailReward = p == Policy::kRule ? NAN : 0.5 + 0.1 * static_cast<double>(seed);
      s.chunksPerMinute = static_cast<double>(seed);
      s.thugDamagePerEpisode = p == Policy::kRule ? NAN : 0.1;
      for (int i = 0; i < aps::kStyleCount; ++i) s.styles[i].reward = {10, 0.4, 0.01};
      s.styles[5].reward.mean = 0.6 + 0.01 * static_cast<double>(seed);
      runs.push_back(s);
    }
  const StudyResult study = SummarizeStudy(runs);
  EXPECT_EQ(study.runs.front().run.seed, 1u);  // sorted by policy, then seed
  const StudyRow& learned = study.rows[0];
  EXPECT_EQ(learned.runs, 3u);
  EXPECT_NEAR(learned.tailReward.mean, 0.7, 1e-12);
  EXPECT_NEAR(learned.tailReward.stdError, 0.1 / std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(study.rows[2].chunksPerMinute.mean, 2.0, 1e-12);
  EXPECT_TRUE(std::isnan(study.rows[2].tailReward.mean));
  EXPECT_EQ(study.bestStyle, 5);
  EXPECT_NEAR(study.bestStyleReward.mean, 0.62, 1e-12);
  const std::string table = StudyTable(study);
  EXPECT_NE(table.find("learned"), std::string::npos);
  EXPECT_NE(table.find("0.700 +- 0.058"), std::string::npos) << table;
  EXPECT_NE(table.find("Weave Left, mean reward 0.620"), std::string::npos) << table;
  const json j = json::parse(StudyJson(study));
  EXPECT_EQ(j["runs"].size(), 9u);
  EXPECT_TRUE(j["policies"][2]["lastEpisodesReward"]["mean"].is_null());
}

}  // namespace
}  // namespace kvr::sim::report
