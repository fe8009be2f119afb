// A play run and what it reads and writes besides the game: the rules file with its checks,
// the level's player and spawn points, the navmesh cache, config.ini's VerboseLog, the mod's
// episode lines counted by reason, and a short match with the mod loaded.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "arena_fixture.h"
#include "settings/config_ini.h"
#include "sim/arena/play.h"
#include "sim/nav/navmesh_cache.h"
#include "test_support.h"

namespace kvr::sim {
namespace {

using nlohmann::json;
using test::ArenaTest;

json ShippedRulesJson() {
  return json::parse(test::ReadFile(LevelPath("arena.rules")));
}

// The dotted rule names found in a rules document.
void Leaves(const json& j, const std::string& prefix, std::vector<std::string>& out) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string path = prefix.empty() ? it.key() : prefix + "." + it.key();
    if (it->is_object())
      Leaves(*it, path, out);
    else
      out.push_back(path);
  }
}

TEST(ArenaRules, TheShippedFileSetsEveryRule) {
  std::vector<std::string> inFile;
  Leaves(ShippedRulesJson(), "", inFile);
  std::vector<std::string> names = RuleNames();
  std::sort(inFile.begin(), inFile.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(inFile, names);
  const ArenaRules rules = test::ShippedRules();
  EXPECT_GT(rules.thugs[kBossThug].health, rules.thugs[kBaseThug].health);
  EXPECT_GT(rules.frameSeconds, 0.0f);
  EXPECT_EQ(RulesPathForLevel(LevelPath("arena")), LevelPath("arena.rules"));
  EXPECT_EQ(RulesPathForLevel(LevelPath("large")), LevelPath("arena.rules")) << "the fallback";
}

TEST(ArenaRules, BadRulesAreRefusedNamingTheRule) {
  struct Case {
    const char* change;  // JSON merge patch over the shipped rules
    const char* mentions;
  };
  const Case cases[] = {
      {R"({"player": {"kiteSpeed": null}})", "missing rule \"player.kiteSpeed\""},
      {R"({"player": {"kiteSped": 300}})", "unknown rule \"player.kiteSped\""},
      {R"({"shooting": {"coneHalfAngleDegrees": 400}})", "\"shooting.coneHalfAngleDegrees\" = 400"},
      {R"({"thugs": {"boss": {"speed": "fast"}}})", "\"thugs.boss.speed\" must be a number"},
      {R"({"tokens": {"count": 2.5}})", "\"tokens.count\" = 2.5 must be a whole number"},
      {R"({"frameSeconds": -1})", "\"frameSeconds\" = -1 is outside its range 0.001..0.25"},
      {R"({"planning": {"replanMinSeconds": 10}})", "\"planning.replanMinSeconds\""},
      {R"({"slots": {"attackRadius": 500}})", "\"slots.attackRadius\" must be below"},
      {R"({"thugs": {"base": {"share": 0}, "armed": {"share": 0}, "boss": {"share": 0}}})",
       "thugs.*.share"},
      {R"({"camera": [1, 2]})", "\"camera\" must be a section of rules"},
  };
  for (const Case& c : cases) {
    json rules = ShippedRulesJson();
    rules.merge_patch(json::parse(c.change));
    ArenaRules out;
    out.turnRate = -7;
    std::string error;
    EXPECT_FALSE(ParseArenaRules(rules.dump(), out, error)) << c.change;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.change << ": " << error;
    EXPECT_EQ(out.turnRate, -7.0f) << "a refused file changes nothing";
  }
  ArenaRules out;
  std::string error;
  EXPECT_FALSE(ParseArenaRules("{", out, error));
  EXPECT_EQ(error.rfind("the rules are not valid JSON at line 1, column 2: ", 0), 0u) << error;
  EXPECT_FALSE(LoadArenaRules("/nonexistent/x.rules.json", out, error));
  EXPECT_NE(error.find("/nonexistent/x.rules.json"), std::string::npos);
}

// Rules added later may be left out of a file: it then plays as before them (the player sees
// and minds everything round it by distance alone, shots never miss for a thug's crossing,
// re-plans and attacks go by the fixed distances).
TEST(ArenaRules, LaterRulesMayBeLeftOutAndKeepTheArenaAsItWas) {
  json rules = ShippedRulesJson();
  rules.merge_patch(json::parse(R"({"planning": {"goalMoveFraction": null, "closeInDistance": null},
      "player": {"viewHalfAngleDegrees": null, "hearingRadius": null, "approachThreat": null},
      "shooting": {"dodgeSpeed": null}})"));
  ArenaRules out;
  std::string error;
  ASSERT_TRUE(ParseArenaRules(rules.dump(), out, error)) << error;
  EXPECT_EQ(out.goalMoveFraction, 0.0f);
  EXPECT_EQ(out.closeInDistance, 0.0f);
  EXPECT_EQ(out.viewHalfAngle, 180.0f);
  EXPECT_EQ(out.hearingRadius, 0.0f);
  EXPECT_EQ(out.approachThreat, 0.0f);
  EXPECT_EQ(out.dodgeSpeed, 0.0f);
  const ArenaRules shipped = test::ShippedRules();
  EXPECT_EQ(out.turnRate, shipped.turnRate) << "the others are read as before";
  // Present, they are checked like any other.
  rules.merge_patch(json::parse(R"({"player": {"viewHalfAngleDegrees": 200}})"));
  EXPECT_FALSE(ParseArenaRules(rules.dump(), out, error));
  EXPECT_NE(error.find("\"player.viewHalfAngleDegrees\" = 200"), std::string::npos) << error;
}

TEST(ArenaLevel, PlayerAndSpawnPointsAreReadCheckedAndWritten) {
  const char* base = R"({"floor": {"min": [0, 0], "max": [1000, 1000], "z": 20},
                         "boxes": [{"min": [400, 400, 20], "max": [600, 600, 200]}])";
  Level level;
  std::string error;
  ASSERT_TRUE(ParseLevel(std::string(base) + "}", level, error)) << error;
  EXPECT_FALSE(level.hasPlayerStart) << "a level without them is still a level";
  EXPECT_TRUE(level.spawns.empty());

  ASSERT_TRUE(ParseLevel(std::string(base) + R"(, "player": {"start": [100, 100],
      "patrol": [[900, 100], [900, 900]]}, "spawns": [[100, 900], [300, 300]]})",
                         level, error))
      << error;
  EXPECT_TRUE(level.hasPlayerStart);
  EXPECT_EQ(level.playerStart.z, 20.0f);
  ASSERT_EQ(level.patrol.size(), 2u);
  ASSERT_EQ(level.spawns.size(), 2u);
  EXPECT_EQ(level.spawns[1].x, 300.0f);
  Level back;
  ASSERT_TRUE(ParseLevel(LevelToJson(level), back, error)) << error;
  EXPECT_EQ(back.patrol.size(), 2u);
  EXPECT_EQ(back.spawns[0].y, 900.0f);
  EXPECT_EQ(back.playerStart.x, 100.0f);

  const char* bad[] = {
      R"(, "spawns": [[500, 500]]})",                        // inside the box
      R"(, "spawns": [[10, 500]]})",                         // too near the floor's edge
      R"(, "spawns": [[100]]})",                             //
      R"(, "player": {"patrol": [[100, 100]]}})",            // no start
      R"(, "player": {"start": [580, 630]}})",               // within the agent margin of the box
      R"(, "player": {"start": [100, 100], "patrol": 7}})",  //
  };
  for (const char* tail : bad) {
    level.name = "untouched";
    EXPECT_FALSE(ParseLevel(std::string(base) + tail, level, error)) << tail;
    EXPECT_EQ(level.name, "untouched");
    EXPECT_FALSE(error.empty());
  }
  ASSERT_FALSE(
      ParseLevel(std::string(base) + R"(, "spawns": [[100, 100], [500, 500]]})", level, error));
  EXPECT_EQ(error, "spawn point 2 (500, 500) is inside or within 34 cm of an obstacle");
}

TEST_F(ArenaTest, TheArenaRefusesALevelItCannotPlayOn) {
  Level level = test::Arena().level;
  ArenaSetup setup{&level, &test::Arena().mesh, test::ShippedRules(), 4, 1};
  std::string error;
  const size_t objects = world_.LiveObjectCount();
  level.spawns = {{2000, 2000, 0}};  // inside the closed room
  EXPECT_FALSE(Arena::Create(world_, game_, setup, error));
  EXPECT_EQ(error, "the level's spawn point 1 (2000, 2000) has no path to the player start");
  level.spawns.clear();
  EXPECT_FALSE(Arena::Create(world_, game_, setup, error));
  EXPECT_NE(error.find("no thug spawn points"), std::string::npos);
  EXPECT_EQ(world_.LiveObjectCount(), objects) << "a refused arena leaves nothing behind";
}

TEST(ArenaNavCache, TheSecondBuildComesFromTheCacheAndAChangedLevelDoesNot) {
  test::TempDir dir;
  Level level = test::Arena().level;
  NavMesh first, second, changed;
  bool cached = true;
  std::string error;
  ASSERT_TRUE(CachedNavMesh(level, {}, dir.Path().string(), first, cached, error)) << error;
  EXPECT_FALSE(cached);
  ASSERT_TRUE(CachedNavMesh(level, {}, dir.Path().string(), second, cached, error)) << error;
  EXPECT_TRUE(cached);
  EXPECT_EQ(second.TileData(), first.TileData());
  level.spawns.push_back({0, 0, 0});  // what the navmesh does not depend on
  ASSERT_TRUE(CachedNavMesh(level, {}, dir.Path().string(), second, cached, error));
  EXPECT_TRUE(cached);
  level.boxes.push_back({{0, -2000, 0}, {300, -1800, 300}});
  ASSERT_TRUE(CachedNavMesh(level, {}, dir.Path().string(), changed, cached, error));
  EXPECT_FALSE(cached);
  EXPECT_NE(changed.TileData(), first.TileData());
}

TEST(PlayConfig, VerboseLogIsSwitchedOnAndNothingElseChanges) {
  const std::string userFile =
      "; my own notes\r\n[General]\r\nEnabled = 1\r\nVerboseLog = 0   ; quiet please\r\n"
      "[Avoidance]\r\nAvoidanceRadius = 777\r\n";
  EXPECT_EQ(WithVerboseLog(userFile),
            "; my own notes\r\n[General]\r\nEnabled = 1\r\nVerboseLog = 1\r\n"
            "[Avoidance]\r\nAvoidanceRadius = 777\r\n");
  EXPECT_EQ(WithVerboseLog("[General]\nEnabled = 0\n"), "[General]\nVerboseLog = 1\nEnabled = 0\n");
  EXPECT_EQ(WithVerboseLog("[Rewards]\nEpisodeSeconds = 9"),
            "[Rewards]\nEpisodeSeconds = 9\n[General]\nVerboseLog = 1\n");
  // A VerboseLog line in another section is not the setting.
  EXPECT_EQ(WithVerboseLog("[Other]\nVerboseLog = 0\n[General]\n"),
            "[Other]\nVerboseLog = 0\n[General]\nVerboseLog = 1\n");

  test::TempDir dir;
  std::string note, error;
  ASSERT_TRUE(EnsureVerboseLog(dir.Path().string(), note, error)) << error;
  Settings expected;
  expected.VerboseLog = true;
  EXPECT_EQ(test::ReadFile(dir.File("config.ini")), BuildConfigIniText(expected));
  EXPECT_EQ(note, "config.ini written with the defaults and VerboseLog = 1");
  ASSERT_TRUE(EnsureVerboseLog(dir.Path().string(), note, error));
  EXPECT_EQ(note, "config.ini kept as it is (VerboseLog = 1 already)");

  test::WriteFile(dir.File("config.ini"), userFile);
  ASSERT_TRUE(EnsureVerboseLog(dir.Path().string(), note, error)) << error;
  Settings read;
  std::string status;
  ASSERT_TRUE(ReadConfigIni(dir.File("config.ini"), read, status));
  EXPECT_TRUE(read.VerboseLog);
  EXPECT_EQ(read.AvoidanceRadius, 777.0f);
}

TEST(PlaySummary, EpisodeEndsAreCountedByReasonTheUsualOnesFirst) {
  const std::vector<std::string> lines = {
      "[KorvathNeuralNav] fresh brain (no saved brain yet)",
      "[KorvathNeuralNav] episode time: BP_ThugBase_C style=Arc Left progress=0.5 -> reward 0.6",
      "[KorvathNeuralNav] episode re-plan: BP_ThugBase_C style=Direct -> reward 0.5",
      "[KorvathNeuralNav] episode zeta: BP_ThugBase_C style=Direct -> reward 0.5",
      "[KorvathNeuralNav] episode controller gone: BP_BossThug_C style=Wide Right -> reward 0.1",
      "[KorvathNeuralNav] episode time: BP_ArmedThug_C style=Weave Left -> reward 0.7",
      "[KorvathNeuralNav] reshaped BP_ThugBase_C: Arc Left, 2 -> 5 points",
  };
  PlayReport report;
  CountEpisodeEnds(lines, report);
  EXPECT_EQ(report.episodes, 5);
  const std::vector<std::pair<std::string, int>> expected = {
      {"re-plan", 1}, {"time", 2}, {"controller gone", 1}, {"zeta", 1}};
  EXPECT_EQ(report.episodeEnds, expected);
}

// The whole run in this process: the mod module next to this test program (the shared object,
// or main.dll under Wine) loaded into the arena as the mod host loads it.
TEST(PlayRun, AShortMatchWithTheModLoaded) {
  test::TempDir dir;
  PlayOptions options;
  options.thugs = 3;
  options.minutes = 0.25;
  options.seed = 4;
  options.modDir = dir.File("Mod");
  options.navCacheDir = "none";
  PlayReport report;
  std::string error;
  ASSERT_TRUE(RunPlay(options, report, error)) << error;
  EXPECT_EQ(report.configNote, "config.ini written with the defaults and VerboseLog = 1");
  EXPECT_NEAR(report.simulatedSeconds, 15.0, 0.05);
  EXPECT_GT(report.stats.pathQueries, 3u);
  ASSERT_GE(report.modLines.size(), 3u);
  EXPECT_EQ(report.modLines[1], "[KorvathNeuralNav] fresh brain (no saved brain yet)");
  const std::string summary = PlaySummary(options, report, false);
  EXPECT_NE(summary.find("mod log: " + std::to_string(report.modLines.size()) + " lines"),
            std::string::npos)
      << summary;

  options.modDir.clear();
  options.level = dir.File("missing.json");
  EXPECT_FALSE(RunPlay(options, report, error));
  EXPECT_NE(error.find("missing.json"), std::string::npos);
}

// --fps sets the simulated frame rate over the rules file's frameSeconds; 0 keeps the file's.
TEST(PlayRun, FramesPerSecondOverrideTheRulesFrameTime) {
  PlayOptions options;
  options.thugs = 2;
  options.navCacheDir = "none";
  const auto framesInASecond = [&options](long long& frames, std::string& error) {
    PlaySession session;
    PlayReport report;
    if (!OpenPlay(options, session, report, error)) return false;
    frames = PlayFrames(session, 1.0);
    RunPlayFrames(session, frames);
    ClosePlay(session, report);
    EXPECT_NEAR(report.simulatedSeconds, 1.0, 0.02);
    return true;
  };
  long long frames = 0;
  std::string error;
  ASSERT_TRUE(framesInASecond(frames, error)) << error;
  EXPECT_EQ(frames, 30) << "the shipped rules' 1/30 s";
  options.fps = 60;
  ASSERT_TRUE(framesInASecond(frames, error)) << error;
  EXPECT_EQ(frames, 60);
  options.fps = 144;
  ASSERT_TRUE(framesInASecond(frames, error)) << error;
  EXPECT_EQ(frames, 144);
  for (double bad : {3.0, 1001.0, -60.0}) {
    options.fps = bad;
    EXPECT_FALSE(framesInASecond(frames, error)) << bad;
    EXPECT_NE(error.find("--fps"), std::string::npos) << error;
  }
}

// The mod's own choices and learning must not follow where the engine's objects lie in memory:
// two runs in one process (so every object has another address) with the engine threads on
// write the same log, episode for episode.
TEST(PlayRun, TheSameSeedReplaysWithTheModLearning) {
  test::TempDir dir;
  PlayOptions options;
  options.thugs = 8;
  options.minutes = 2;
  options.seed = 9;
  options.navCacheDir = "none";
  std::vector<std::string> runs[2];
  for (int i = 0; i < 2; ++i) {
    options.modDir = dir.File("Mod" + std::to_string(i));
    PlayReport report;
    std::string error;
    ASSERT_TRUE(RunPlay(options, report, error)) << error;
    EXPECT_GT(report.episodes, 50);
    for (const std::string& line : report.modLines)
      // The code section's address and the mod's real-time cost figures differ between runs.
      if (line.find("game code section") == std::string::npos &&
          line.find("cost per frame") == std::string::npos)
        runs[i].push_back(line);
  }
  ASSERT_EQ(runs[0].size(), runs[1].size());
  for (size_t i = 0; i < runs[0].size(); ++i) ASSERT_EQ(runs[0][i], runs[1][i]) << "line " << i;
}

}  // namespace
}  // namespace kvr::sim
