// Suites: the file read strictly (every mistake named), the judge's reward formula, regrets
// and the best fixed style, the policy's config lines that leave the rest of a user's file
// alone, and a fixed-style brain that keeps its answer while the mod trains it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>

#include "settings/config_ini.h"
#include "sim/match/mod_folder.h"
#include "sim/suite/suite_result.h"
#include "sim/suite/tune_search.h"
#include "svg_check.h"
#include "test_support.h"

namespace kvr::sim::suite {
namespace {

using report::Policy;

std::string SuiteText(const std::string& variantExtra, const std::string& topExtra = "") {
  return R"({"name": "t", "seeds": [1, 2], "lastEpisodes": 10,)" + topExtra +
         R"( "policies": ["learned", "random", "fixed:Direct", "fixed:Arc Left"],
          "variants": [{"name": "v", "level": "default", "thugs": 4, "minutes": 2)" +
         variantExtra + "}]}";
}

TEST(SuiteFile, ReadsAValidSuiteWithTheDefaultYardstick) {
  test::TempDir dir;
  test::WriteFile(dir.File("r.rules.json"), "{}");
  Suite s;
  std::string error;
  ASSERT_TRUE(ParseSuite(SuiteText(R"(, "rules": "r.rules.json")"), dir.Path().string(), s, error))
      << error;
  EXPECT_EQ(s.seeds, (std::vector<uint64_t>{1, 2}));
  EXPECT_EQ(s.lastEpisodes, 10u);
  ASSERT_EQ(s.policies.size(), 4u);
  EXPECT_EQ(s.policies[3], Policy::Fixed(1));
  EXPECT_EQ(s.variants[0].rules, dir.File("r.rules.json"));
  EXPECT_EQ(s.variants[0].level, "default");
  EXPECT_EQ(s.pretrainRuns, 0) << "judged from a fresh brain unless the suite says otherwise";
  // No judge: the mod's default weights.
  EXPECT_EQ(s.judge.damageTaken, 1.5);
  EXPECT_EQ(s.judge.sharpness, 1.5);
}

TEST(SuiteFile, EveryMistakeIsNamed) {
  test::TempDir dir;
  const std::string base = dir.Path().string();
  const std::pair<std::string, std::string> cases[] = {
      {SuiteText(R"(, "thug": 3)"), "unknown key \"thug\" in variant \"v\""},
      {SuiteText("", R"( "seed": [1],)"), "unknown key \"seed\""},
      {SuiteText(R"(, "rules": "missing.rules.json")"), "missing.rules.json"},
      {SuiteText(R"(, "level": "nowhere.json")"), "nowhere.json"},
      {SuiteText(R"(, "thugs": 0)"), "\"thugs\" in variant \"v\""},
      {SuiteText(R"(, "minutes": "long")"), "\"minutes\" in variant \"v\""},
      {SuiteText("", R"( "judge": {"WeightProgress": 7},)"), "\"WeightProgress\" in \"judge\""},
      {SuiteText("", R"( "pretrainRuns": 1.5,)"), "\"pretrainRuns\" must be a whole number"},
      {SuiteText("", R"( "pretrainRuns": 21,)"), "\"pretrainRuns\" must be a number from 0 to 20"},
      {SuiteText("", R"( "judge": {"WeightProgres": 1},)"), "unknown key \"WeightProgres\""},
      {R"({"seeds": [-1], "policies": ["random"], "variants": []})", "seed -1"},
      {R"({"seeds": [1], "policies": ["fixed:Zigzag"], "variants": []})",
       "unknown policy \"fixed:Zigzag\""},
      {R"({"seeds": [1], "policies": ["random"]})", "no \"variants\""},
      {"{\"seeds\": [1],", "not a JSON object"},
  };
  for (const auto& [text, wanted] : cases) {
    Suite s;
    std::string error;
    EXPECT_FALSE(ParseSuite(text, base, s, error)) << text;
    EXPECT_NE(error.find(wanted), std::string::npos)
        << "error: " << error << "\nwanted: " << wanted;
  }
}

TEST(SuiteJudge, RecomputesTheModsRewardFromTheLoggedTerms) {
  report::EpisodeLine e;
  // No progress, no damage, no hits, fully spaced: raw = 0.5 x 0.5 with the default weights.
  ASSERT_TRUE(report::ParseEpisodeLine(
      "episode time: P style=Direct progress=0.00 dmg=0.00 hits=0.00 spacing=1.00 -> reward "
      "0.593 (loss 0.0100)",
      e));
  EXPECT_NEAR(report::JudgedReward(e, report::Judge{}), 1.0 / (std::exp(-0.375) + 1.0), 1e-9);
  EXPECT_NEAR(report::JudgedReward(e, report::Judge{}), e.reward, 0.0005);
  // Another yardstick judges the same episode differently, whatever the mod learnt with.
  e.damage = 0.5f;
  const report::Judge harsh{1.0, 3.0, 0.0, 0.5, 1.5};
  EXPECT_NEAR(report::JudgedReward(e, harsh), 1.0 / (std::exp(-1.5 * (0.25 - 1.5)) + 1.0), 1e-9);
  // The judged mean covers the last episodes only.
  const std::vector<std::string> lines = {
      "episode time: P style=Direct progress=1.00 dmg=0.00 hits=0.00 spacing=0.50 -> reward 0.8 "
      "(loss 0.0)",
      "reshaped P: Arc Left, 2 -> 5 points, 1200 -> 1400 cm, 31 queries, 0.40 ms",
      "episode time: P style=Direct progress=0.00 dmg=0.00 hits=0.00 spacing=0.50 -> reward 0.5 "
      "(loss 0.0)"};
  size_t n = 0;
  EXPECT_DOUBLE_EQ(JudgedTail(lines, harsh, 1, &n), 0.5);
  EXPECT_EQ(n, 2u);
}

RunFigures MakeRun(const std::string& variant, Policy p, uint64_t seed, double judged) {
  RunFigures f;
  f.variant = variant;
  f.policy = p;
  f.seed = seed;
  f.judged = judged;
  f.chunksPerMinute = 2.0;
  f.damagePerEpisode = 0.1;
  return f;
}

TEST(SuiteResult, RegretIsMeasuredAgainstTheBestFixedStyleOfEachVariant) {
  Suite s;
  s.name = "t";
  s.seeds = {1, 2};
  s.policies = {Policy::kLearned, Policy::kRandom, Policy::kRule, Policy::Fixed(0),
                Policy::Fixed(1)};
  s.variants = {{"a", "default", "", 4, 1.0}, {"b", "default", "", 4, 1.0}};
  std::vector<RunFigures> runs;
  for (uint64_t seed : {1, 2}) {
    const double d = seed == 1 ? -0.01 : 0.01;
    runs.push_back(MakeRun("a", Policy::kLearned, seed, 0.70 + d));
    runs.push_back(MakeRun("a", Policy::kRandom, seed, 0.68 + d));
    runs.push_back(MakeRun("a", Policy::kRule, seed, NAN));
    runs.push_back(MakeRun("a", Policy::Fixed(0), seed, 0.72 + d));  // Direct best in a
    runs.push_back(MakeRun("a", Policy::Fixed(1), seed, 0.60 + d));
    runs.push_back(MakeRun("b", Policy::kLearned, seed, 0.75 + d));
    runs.push_back(MakeRun("b", Policy::kRandom, seed, 0.70 + d));
    runs.push_back(MakeRun("b", Policy::kRule, seed, NAN));
    runs.push_back(MakeRun("b", Policy::Fixed(0), seed, 0.65 + d));
    runs.push_back(MakeRun("b", Policy::Fixed(1), seed, 0.76 + d));  // Arc Left best in b
  }
  const SuiteResult r = SummarizeSuite(s, runs);
  ASSERT_EQ(r.variants.size(), 2u);
  EXPECT_EQ(r.variants[0].bestFixed, 3);
  EXPECT_EQ(r.variants[1].bestFixed, 4);
  EXPECT_NEAR(r.variants[0].policies[0].regret, 0.02, 1e-12);
  EXPECT_NEAR(r.variants[1].policies[0].regret, 0.01, 1e-12);
  EXPECT_NEAR(r.variants[0].policies[0].judged.stdError, 0.01, 1e-12);
  // The rule has no episodes, so no regret; every other policy its worst variant.
  const nlohmann::json j = nlohmann::json::parse(SuiteJson(r));
  EXPECT_FALSE(j["maxRegret"].contains("rule"));
  EXPECT_NEAR(j["maxRegret"]["learned"].get<double>(), 0.02, 1e-12);
  EXPECT_NEAR(j["maxRegret"]["random"].get<double>(), 0.06, 1e-12);
  EXPECT_NEAR(j["maxRegret"]["fixed:Direct"].get<double>(), 0.11, 1e-12);
  EXPECT_NEAR(j["maxRegret"]["fixed:Arc Left"].get<double>(), 0.12, 1e-12);
  EXPECT_EQ(j["variants"][1]["bestFixed"], "fixed:Arc Left");
  EXPECT_EQ(j["variants"][0]["policies"]["learned"]["runs"], 2);
  EXPECT_TRUE(j["variants"][0]["policies"]["rule"]["mean"].is_null());
  const std::string table = SuiteTable(r);
  EXPECT_NE(table.find("best fixed style: fixed:Direct"), std::string::npos) << table;
  EXPECT_NE(table.find("learned - random: +0.0200 (+1.4 standard errors)"), std::string::npos)
      << table;
  EXPECT_EQ(test::SvgProblem(SuiteSvg(r, "suite")), "");
}

// What one decision of a style earns among mixed styles comes from the random runs alone,
// pooled over seeds by episode, and the table says where the pack's best style stands there.
TEST(SuiteResult, PerDecisionValuesPoolTheRandomRunsEpisodes) {
  Suite s;
  s.seeds = {1, 2};
  s.policies = {Policy::kLearned, Policy::kRandom, Policy::Fixed(0), Policy::Fixed(1)};
  s.variants = {{"a", "default", "", 4, 1.0}};
  std::vector<RunFigures> runs;
  for (uint64_t seed : {1, 2}) {
    RunFigures r = MakeRun("a", Policy::kRandom, seed, 0.7);
    r.styleSum[0] = seed == 1 ? 8.0 : 1.0;  // Direct: 9 over 10 episodes
    r.styleCount[0] = seed == 1 ? 9 : 1;
    r.styleSum[1] = 3.0;  // Arc Left: 6 over 10
    r.styleCount[1] = 5;
    runs.push_back(r);
    RunFigures learned = MakeRun("a", Policy::kLearned, seed, 0.7);
    learned.styleSum[1] = 100.0;  // not a random run: never counted
    learned.styleCount[1] = 100;
    runs.push_back(learned);
    runs.push_back(MakeRun("a", Policy::Fixed(0), seed, 0.60));
    runs.push_back(MakeRun("a", Policy::Fixed(1), seed, 0.65));  // the pack's best
  }
  const SuiteResult r = SummarizeSuite(s, runs);
  const VariantResult& v = r.variants[0];
  EXPECT_NEAR(v.perDecision[0], 0.9, 1e-12);
  EXPECT_NEAR(v.perDecision[1], 0.6, 1e-12);
  EXPECT_TRUE(std::isnan(v.perDecision[2])) << "a style random never played has no value";
  EXPECT_EQ(v.bestPerDecision, 0);
  const std::string table = VariantTable(r, v);
  EXPECT_NE(table.find("best first: Direct 0.9000, Arc Left 0.6000, Arc Right n/a"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("the best fixed style ranks 2 of 7 there"), std::string::npos) << table;
  const nlohmann::json j = nlohmann::json::parse(SuiteJson(r));
  EXPECT_EQ(j["variants"][0]["bestPerDecision"], "Direct");
  EXPECT_NEAR(j["variants"][0]["perDecision"]["Arc Left"].get<double>(), 0.6, 1e-12);
  EXPECT_TRUE(j["variants"][0]["perDecision"]["Weave Right"].is_null());
}

// Two equally good fixed styles measured with standard error e: a policy as good as either still
// shows a regret of max(X1, X2) - Y on average, e / sqrt(pi), from noise alone.
TEST(SuiteResult, NoiseFloorIsTheRegretNoiseAloneGivesAPerfectPolicy) {
  Suite s;
  s.seeds = {1, 2, 3, 4};
  s.policies = {Policy::kLearned, Policy::Fixed(0), Policy::Fixed(1)};
  s.variants = {{"a", "default", "", 4, 1.0}};
  auto summarize = [&](double spread, size_t seeds) {
    std::vector<RunFigures> runs;
    for (uint64_t seed = 1; seed <= seeds; ++seed) {
      const double d = seed % 2 ? -spread : spread;
      for (const Policy& p : s.policies) runs.push_back(MakeRun("a", p, seed, 0.7 + d));
    }
    return SummarizeSuite(s, runs);
  };
  const SuiteResult noisy = summarize(0.01, 4);
  const double e = noisy.variants[0].policies[1].judged.stdError;  // 0.01 / sqrt(3)
  ASSERT_NEAR(e, 0.01 / std::sqrt(3.0), 1e-12);
  const NoiseFloor& f = noisy.noiseFloor;
  EXPECT_EQ(f.draws, 20000u);
  EXPECT_NEAR(f.mean, e / std::sqrt(std::numbers::pi), 0.05 * e / std::sqrt(std::numbers::pi));
  EXPECT_GT(f.p90, f.median);
  const NoiseFloor again = OracleNoiseFloor(noisy);
  EXPECT_EQ(again.median, f.median) << "the same figures give the same floor";

  // Without spread over seeds there is no noise, so a perfect policy shows no regret at all.
  const SuiteResult exact = summarize(0.0, 4);
  EXPECT_EQ(exact.noiseFloor.median, 0.0);
  EXPECT_EQ(exact.noiseFloor.p90, 0.0);

  // One seed has no standard error to draw with: the floor is unknown, and says so.
  const SuiteResult one = summarize(0.01, 1);
  EXPECT_EQ(one.noiseFloor.draws, 0u);
  EXPECT_TRUE(std::isnan(one.noiseFloor.median));
  EXPECT_NE(SuiteTable(one).find("noise alone: not known"), std::string::npos);

  const nlohmann::json j = nlohmann::json::parse(SuiteJson(noisy));
  EXPECT_NEAR(j["maxRegretNoise"]["median"].get<double>(), f.median, 1e-12);
  EXPECT_TRUE(nlohmann::json::parse(SuiteJson(one))["maxRegretNoise"]["median"].is_null());
  EXPECT_NE(SuiteTable(noisy).find("noise alone: a policy exactly as good as the best fixed"),
            std::string::npos);
}

TEST(SuiteResult, OneSeedSaysItHasNoStandardError) {
  report::MeanError one{1, 0.7, 0.0};
  EXPECT_EQ(MeanText(one, "%.3f"), "0.700 (one seed, no standard error)");
  report::MeanError two{2, 0.7, 0.01};
  EXPECT_EQ(MeanText(two, "%.3f"), "0.700 +- 0.010");
}

TEST(PolicyLines, OnlyTheLinesAPolicyNeedsChange) {
  const std::string user =
      "; my settings\n[General]\nVerboseLog = 0 ; quiet\nMenuScale = 1,5\n\n"
      "[NeuralNet]\nLearningRate = 0.02\nExploreMin = 0.05\n";
  const std::string random = WithPolicyLines(user, Policy::kRandom);
  EXPECT_NE(random.find("; my settings\n"), std::string::npos);
  EXPECT_NE(random.find("MenuScale = 1,5\n"), std::string::npos) << "unreadable lines stay";
  EXPECT_NE(random.find("LearningRate = 0.02\n"), std::string::npos);
  Settings read;
  ApplyConfigIniText(random, read, nullptr);
  EXPECT_TRUE(read.VerboseLog);
  EXPECT_EQ(read.ExploreStart, 1.0f);
  EXPECT_EQ(read.ExploreMin, 1.0f);
  // A fixed style: one genome, no exploration, no replay, the smallest training step.
  ApplyConfigIniText(WithPolicyLines(user, Policy::Fixed(2)), read, nullptr);
  EXPECT_EQ(read.Population, 1);
  EXPECT_EQ(read.ExploreStart, 0.0f);
  EXPECT_EQ(read.ReplaySize, 0);
  EXPECT_FLOAT_EQ(read.LearningRate, 0.0001f);
  // A file that already says what the policy needs is left byte for byte.
  const std::string learned = WithPolicyLines(random, Policy::kLearned);
  EXPECT_EQ(learned, random);
}

TEST(FixedStyleBrain, ChoosesItsStyleEverywhereAndKeepsItWhileTheModTrains) {
  Settings settings;
  report::ApplyPolicy(Policy::Fixed(5), settings);
  tactics::Brain brain = FixedStyleBrain(settings, 5, 42);
  ASSERT_EQ(brain.genomes.size(), 1u);
  tactics::Rng draws;
  draws.state = 7;
  std::array<float, tactics::kStyleCount> outputs{};
  for (int episode = 0; episode < 3000; ++episode) {
    tactics::Observation obs{};
    for (float& x : obs) x = draws.NextUnit() * 3.0f - 1.5f;
    const tactics::StyleChoice c = brain.ChooseStyle(0, obs, outputs);
    ASSERT_EQ(c.style, 5) << "episode " << episode;
    ASSERT_FALSE(c.explored);
    // Learning as the mod does, with rewards that would pull any network away.
    brain.Learn(0, obs, c.style, episode % 2 ? 0.0f : 1.0f);
  }
  EXPECT_EQ(brain.generation, 0u);
}

TEST(TuneSearch, ProfilesStayInRangeAndReadBack) {
  Settings best;
  report::Judge judge;
  judge.damageTaken = 3.0;
  judge.playerHit = 0.0;
  for (int i = 0; i < 40; ++i) {
    const Settings p = ProfileFor(i, best, 3, judge);
    for (int row : TunedRows()) {
      const SettingDef& def = SettingsTable()[row];
      EXPECT_GE(GetSettingValue(p, row), def.min) << def.key;
      EXPECT_LE(GetSettingValue(p, row), def.max) << def.key;
    }
    EXPECT_LE(p.ExploreMin, p.ExploreStart);
    EXPECT_EQ(p.EpisodeSeconds, best.EpisodeSeconds) << "what is measured never changes";
    Settings back;
    std::string error;
    ASSERT_TRUE(ProfileFromWords(ProfileWords(p), back, error)) << error;
    EXPECT_EQ(ProfileWords(back), ProfileWords(p));
    if (i >= kStartProfiles) best = p;
  }
  EXPECT_EQ(ProfileWords(ProfileFor(0, best, 3, judge)), ProfileWords(Settings{}));
  // The informed starts learn from the yardstick they are judged by.
  for (int i = 1; i < kStartProfiles; ++i) {
    const Settings p = ProfileFor(i, best, 3, judge);
    EXPECT_EQ(p.WeightDamageTaken, 3.0f) << i;
    EXPECT_EQ(p.WeightPlayerHit, 0.0f) << i;
  }
  EXPECT_EQ(ProfileFor(2, best, 3, judge).Population, 1);
}

// With one genome the evolution settings change nothing, so a draw on one would only repeat
// its parent's play; the search spends its draws on the rows that matter.
TEST(TuneSearch, OneGenomeMutatesOnlyWhatChangesThePlay) {
  report::Judge judge;
  const Settings one = ProfileFor(2, Settings{}, 3, judge);
  ASSERT_EQ(one.Population, 1);
  int changed = 0, kept = 0;
  for (int i = kStartProfiles; i < kStartProfiles + 200; ++i) {
    const Settings p = ProfileFor(i, one, 3, judge);
    if (p.Population != 1) continue;  // drawn anew: evolution may follow in the same profile
    ++kept;
    EXPECT_EQ(p.EvolveEveryEpisodes, one.EvolveEveryEpisodes) << i;
    EXPECT_EQ(p.TournamentSize, one.TournamentSize) << i;
    EXPECT_EQ(p.Elites, one.Elites) << i;
    EXPECT_EQ(p.MutationRate, one.MutationRate) << i;
    EXPECT_EQ(p.CrossoverType, one.CrossoverType) << i;
    changed += ProfileWords(p) != ProfileWords(one);
  }
  // A draw can land on the value it replaces (a layer size, an activation); nearly none may be
  // spent on a setting that changes nothing.
  EXPECT_GE(changed, kept * 9 / 10) << "of " << kept;
  // The second measurement plays seeds the search never saw.
  const std::vector<uint64_t> seeds = {11, 12, 13};
  for (uint64_t fresh : ConfirmSeeds(seeds))
    EXPECT_EQ(std::count(seeds.begin(), seeds.end(), fresh), 0) << fresh;
  EXPECT_EQ(ConfirmSeeds(seeds).size(), seeds.size());
}

}  // namespace
}  // namespace kvr::sim::suite
