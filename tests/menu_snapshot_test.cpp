// The menu snapshot: status rows with their exact texts, thug rows, brain figures, camera and
// route lines, and how snapshots are handed to the render thread.
#include <gtest/gtest.h>

#include <set>

#include "game/menu_publisher.h"
#include "game_fixture.h"

namespace kvr {
namespace {

constexpr const char* kSlotsText =
    " navmeshes hooked (fingerprint: FindPath twice, 3 distinct code pointers, all inside the "
    "game's code section)";

class Snapshot : public test::GameFixture {
 protected:
  game::MenuSnapshot Build(double now) {
    game::MenuSnapshot s;
    game::BuildMenuSnapshot(*rt_, now, s);
    return s;
  }
  game::MenuSnapshot Build() { return Build(rt_->game.lastUpdate); }
  std::shared_ptr<const game::MenuSnapshot> Published() {
    ModState& state = ModState::Get();
    std::lock_guard<std::mutex> lock(state.settingsLock);
    return state.snapshot;
  }
  static void ExpectRow(const game::MenuSnapshot& s, size_t i, const std::string& label,
                        int32_t state, const std::string& text) {
    ASSERT_LT(i, s.statusRows.size());
    EXPECT_EQ(s.statusRows[i].label, label) << i;
    EXPECT_EQ(s.statusRows[i].state, state) << label;
    EXPECT_EQ(s.statusRows[i].text, text) << label;
  }
};

TEST_F(Snapshot, StatusRowsBeforeAnyLevel) {
  mod::ModRuntime& rt = Start();
  Discover();
  rt.game.frameRate = 59.97;
  const game::MenuSnapshot s = Build();
  ASSERT_EQ(s.statusRows.size(), 11u);
  ExpectRow(s, 0, "Game executable build", 0, "waiting for a level with a navmesh");
  ExpectRow(s, 1, "Navmesh path slots +0x2B8..+0x2D8", 0, std::string("0 of 0") + kSlotsText);
  ExpectRow(s, 2, "Live path memory self-test", 0, "waiting for the first thug paths");
  ExpectRow(s, 3, "Engine allocator (GMalloc) via UE4SS", 1,
            "found - routes may grow beyond the engine's original buffer");
  ExpectRow(s, 4, "Navigation queries", 1,
            "K2_ProjectPointToNavigation + NavigationRaycast parameter layouts read from "
            "reflection");
  ExpectRow(s, 5, "Query extent", 0, "waiting");
  ExpectRow(s, 6, "Game-thread tick", 1, "ReceiveTick-driven, 59 Hz");
  ExpectRow(s, 7, "Thugs tracked", 0, "0 AI controllers with pawns, 0 with local avoidance on");
  ExpectRow(s, 8, "Player", 0, "not in a level");
  ExpectRow(s, 9, "Brain", 1, "fresh brain (no saved brain yet)");
  ExpectRow(s, 10, "Crash guard", 1, "0 faults caught");
  EXPECT_FALSE(s.playerPresent);
  EXPECT_EQ(s.layerSizes, (std::vector<int32_t>{12, 16, 12, 7}));
  EXPECT_EQ(s.genomes.size(), 8u);
  EXPECT_FLOAT_EQ(s.explorationRate, 0.3f);
  EXPECT_TRUE(s.routes.empty());
}

TEST_F(Snapshot, StatusRowsOfARunningLevel) {
  mod::ModRuntime& rt = Start();
  const auto player = Player({0, 0, 0});
  const auto a = Thug(L"A", {100, 0, 0});
  const auto b = Thug(L"B", {200, 0, 0});
  Discover();
  test::FakeNavMesh hooked, refused;
  hooked.HookInto(rt.game.navmeshes, 0x1000);
  rt.game.navmeshes[refused.Object()].navmesh = refused.Object();
  rt.game.acceptedFindPath = reinterpret_cast<game::FindPathFn>(0x1000);
  rt.game.exactBuild = true;
  rt.game.queryExtentStatus =
      "query extent at +0x26C (reflection; dump says +0x26C) = (50, 50, 250)";
  rt.game.pathHook.reshapingEnabled = true;
  rt.totalFaults = 3;
  rt.brainStatus = "save FAILED: rename failed";
  world_.SetEngineAllocatorEnabled(false);
  SetAlive(b, false);
  Discover();
  game::MenuSnapshot s = Build();
  ExpectRow(s, 0, "Game executable build", 1,
            "exact build verified (FindPath at RVA 0x2CEA790, TestPath 0x2D01F50, "
            "TestHierarchical 0x2D01B80, Raycast 0x2CF70E0)");
  ExpectRow(s, 1, "Navmesh path slots +0x2B8..+0x2D8", 1, std::string("1 of 2") + kSlotsText);
  ExpectRow(s, 2, "Live path memory self-test", 1,
            "passed (path start == query start on 3 live paths)");
  ExpectRow(s, 3, "Engine allocator (GMalloc) via UE4SS", -1,
            "missing - routes are only reshaped when they fit in place");
  ExpectRow(s, 5, "Query extent", 1, rt.game.queryExtentStatus);
  ExpectRow(s, 7, "Thugs tracked", 1, "2 AI controllers with pawns, 1 with local avoidance on");
  ExpectRow(s, 8, "Player", 1, "found, health chunks 5");
  ExpectRow(s, 9, "Brain", -1, "save FAILED: rename failed");
  ExpectRow(s, 10, "Crash guard", -1, "3 faults caught");

  // The other build, navmeshes found but none hooked, the path hook disabled, the navigation
  // layouts incomplete, and a game thread that stopped ticking.
  rt.game.exactBuild = false;
  rt.game.navmeshes[hooked.Object()].hooked = false;
  rt.reshapingDisabled = true;
  rt.pathSafetyStatus = "path memory self-test FAILED - reshaping disabled";
  rt.game.raycastLayout.valid = false;
  s = Build(rt.game.lastUpdate + 1.5);
  ExpectRow(s, 0, "Game executable build", 1, "different build, same verified structure");
  ExpectRow(s, 1, "Navmesh path slots +0x2B8..+0x2D8", -1, std::string("0 of 2") + kSlotsText);
  ExpectRow(s, 2, "Live path memory self-test", -1, rt.pathSafetyStatus);
  ExpectRow(s, 4, "Navigation queries", -1, "not resolved yet");
  ExpectRow(s, 6, "Game-thread tick", 0, "waiting (menus do not tick)");
  rt.game.navmeshes.clear();
  (void)player;
  (void)a;
}

TEST_F(Snapshot, ThugRowsNearestFirstAndTheHookFigures) {
  mod::ModRuntime& rt = Start();
  const auto far = Thug(L"Far", {0, 900, 0}, classes_.bossAIController, classes_.bossThug);
  const auto near = Thug(L"Near", {0, -300, 4000});
  const auto mid = Thug(L"Mid", {500, 0, 0});
  Discover();
  // Without a player every distance is 0.
  game::MenuSnapshot s = Build();
  ASSERT_EQ(s.thugs.size(), 3u);
  for (const game::ThugRow& row : s.thugs) EXPECT_EQ(row.distanceToPlayer, 0.0f);

  Player({0, 0, 0});
  SetHealth(mid, 25.0f);
  Discover();
  game::TrackedThug& m = Record(mid);
  m.currentStyle = 3;
  m.explored = true;
  m.outputs[3] = 0.75f;
  m.lastReward = 0.5f;
  m.episodeCount = 9;
  OpenEpisode(m, 3, m.genomeIndex, {}, 0, 100, rt.game.lastUpdate - 2.0);
  game::PathHookState& p = rt.game.pathHook;
  p.outcomes[static_cast<int>(aps::ReshapeOutcome::kReshaped)] = 3;
  p.outcomes[static_cast<int>(aps::ReshapeOutcome::kNoValidArc)] = 1;
  p.totalBuildMs = 10.0;
  p.totalNavQueries = 100.0;
  p.largestBuildMs = 4.5;
  rt.game.styleDecisions = 12;
  s = Build();
  ASSERT_EQ(s.thugs.size(), 3u);
  EXPECT_FLOAT_EQ(s.thugs[0].distanceToPlayer, 300.0f) << "horizontal distance";
  EXPECT_FLOAT_EQ(s.thugs[1].distanceToPlayer, 500.0f);
  EXPECT_FLOAT_EQ(s.thugs[2].distanceToPlayer, 900.0f);
  EXPECT_TRUE(s.thugs[2].boss);
  EXPECT_EQ(s.thugs[2].pawnClassName, "BP_BossThug_C");
  const game::ThugRow& row = s.thugs[1];
  EXPECT_FLOAT_EQ(row.healthFraction, 0.25f);
  EXPECT_EQ(row.currentStyle, 3);
  EXPECT_TRUE(row.explored);
  EXPECT_FLOAT_EQ(row.outputs[3], 0.75f);
  EXPECT_FLOAT_EQ(row.lastReward, 0.5f);
  EXPECT_EQ(row.episodes, 9);
  EXPECT_TRUE(row.episodeActive);
  EXPECT_EQ(row.episodeStyle, 3);
  EXPECT_NEAR(row.episodeSeconds, 2.0f, 1e-3);
  EXPECT_EQ(row.genome, m.genomeIndex);
  EXPECT_DOUBLE_EQ(s.averageBuildMs, 2.5);
  EXPECT_DOUBLE_EQ(s.averageNavQueries, 25.0);
  EXPECT_DOUBLE_EQ(s.largestBuildMs, 4.5);
  EXPECT_EQ(s.styleDecisions, 12u);
  EXPECT_TRUE(s.playerPresent);
  EXPECT_EQ(s.playerHealthChunks, 5);

  // A thug that lost its pawn has no row.
  *world_.Field<host::UObject*>(near.controller, L"Pawn") = nullptr;
  Discover();
  EXPECT_EQ(Build().thugs.size(), 2u);
  (void)far;
}

TEST_F(Snapshot, RouteLinesFollowAgeLengthAndTheCameraCutOff) {
  Settings settings;
  settings.ShowPathOverlay = true;
  settings.OverlayMaxDistance = 4000.0f;
  mod::ModRuntime& rt = Start(settings);
  const auto player = Player({0, 0, 0});
  const auto close = Thug(L"Close", {1000, 0, 0});
  const auto distant = Thug(L"Distant", {0, 6000, 0});
  const auto stale = Thug(L"Stale", {500, 0, 0});
  const auto single = Thug(L"Single", {600, 0, 0});
  Discover();
  const double now = rt.game.lastUpdate;
  auto route = [&](const sim::ThugObjects& t, int points, double age, int style, bool reshaped) {
    game::TrackedThug& r = Record(t);
    r.routePoints.assign(points, r.position);
    r.routeTime = now - age;
    r.routeStyle = style;
    r.routeReshaped = reshaped;
  };
  route(close, 3, 10.0, aps::kWeaveLeft, false);  // exactly 10 s old still counts
  route(distant, 2, 1.0, 9, true);
  route(stale, 4, 10.01, aps::kArcLeft, true);
  route(single, 1, 0.0, aps::kArcLeft, true);
  *world_.Field<aps::Vec3>(player.cameraManager, L"ViewLocation") = {0, 0, 0};
  *world_.Field<aps::Vec3>(player.cameraManager, L"ViewRotation") = {-10, 45, 0};
  *world_.Field<uint8_t>(player.localPlayer, L"AspectRatioAxisConstraint") = 2;

  game::MenuSnapshot s = Build(now);
  ASSERT_TRUE(s.camera.valid);
  EXPECT_FLOAT_EQ(s.camera.rotation.y, 45.0f);
  EXPECT_FLOAT_EQ(s.camera.fov, 90.0f);
  EXPECT_EQ(s.camera.aspectRatioAxisConstraint, 2);
  EXPECT_EQ(rt.game.player.cameraManager, player.cameraManager);
  EXPECT_EQ(rt.game.watched.count(player.cameraManager), 1u);
  ASSERT_EQ(s.routes.size(), 1u) << "the distant thug is beyond OverlayMaxDistance";
  EXPECT_EQ(s.routes[0].label, "Weave Left (engine)");
  EXPECT_EQ(s.routes[0].style, aps::kWeaveLeft);
  EXPECT_EQ(s.routes[0].colour, aps::Style(aps::kWeaveLeft).colour);
  EXPECT_EQ(s.routes[0].points.size(), 3u);
  EXPECT_FALSE(s.routes[0].reshaped);

  // At FOV 170 (and 5) the camera is not valid, and every recent route is drawn.
  for (float fov : {170.0f, 5.0f}) {
    *world_.Field<float>(player.cameraManager, L"DefaultFOV") = fov;
    s = Build(now);
    EXPECT_FALSE(s.camera.valid) << fov;
    ASSERT_EQ(s.routes.size(), 2u) << fov;
  }
  for (const game::RouteLine& line : s.routes) {
    if (line.reshaped) {
      EXPECT_EQ(line.style, aps::kWeaveRight) << "style clamped to 0..6";
      EXPECT_EQ(line.label, "Weave Right");
    }
  }
  // Without the overlay neither camera nor routes are produced.
  settings.ShowPathOverlay = false;
  Publish(settings);
  Tick(1);
  s = Build(now);
  EXPECT_FALSE(s.camera.valid);
  EXPECT_TRUE(s.routes.empty());
}

// Five snapshots a second, sixty while the overlay is shown; a snapshot the render thread holds
// is never written again, while one it let go of is refilled instead of reallocated.
TEST_F(Snapshot, PublishingRateAndStorage) {
  Settings settings;
  mod::ModRuntime& rt = Start(settings);
  Thug(L"T", {0, 0, 0});
  auto countIn = [&](double seconds) {
    std::set<double> times;
    std::set<const game::MenuSnapshot*> storage;
    for (int frame = 0; frame < static_cast<int>(seconds * 240); ++frame) {
      Tick(1, 1.0 / 240.0);
      const auto s = Published();
      times.insert(s->time);
      storage.insert(s.get());
    }
    return std::make_pair(times.size(), storage.size());
  };
  Tick(10);
  auto [slow, slowStorage] = countIn(2.0);
  EXPECT_GE(slow, 9u);
  EXPECT_LE(slow, 11u);
  EXPECT_LE(slowStorage, 2u) << "two snapshots take turns";

  settings.ShowPathOverlay = true;
  Publish(settings);
  Tick(2);
  auto [fast, fastStorage] = countIn(1.0);
  EXPECT_GE(fast, 55u);
  EXPECT_LE(fast, 61u);
  EXPECT_LE(fastStorage, 2u);

  const std::shared_ptr<const game::MenuSnapshot> held = Published();
  const double heldTime = held->time;
  const size_t rows = held->thugs.size();
  Tick(60, 1.0 / 60.0);
  EXPECT_EQ(held->time, heldTime);
  EXPECT_EQ(held->thugs.size(), rows);
  EXPECT_NE(Published()->time, heldTime);
  (void)rt;
}

}  // namespace
}  // namespace kvr
