// The mod's code linked into the program that runs the arena (as kvr-viewer runs it): the
// snapshots its own update publishes carry the player's camera exactly as the arena sets it and
// the routes the thugs walk, so a picture checked against the arena's routes projected the
// overlay's way checks the mod's routes; and a setting pushed the way the menu pushes it is in
// effect in the arena within a few frames.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

#include "game/menu_publisher.h"
#include "host/mod_state.h"
#include "overlay/route_overlay.h"
#include "sim/arena/arena_view.h"
#include "sim/arena/play.h"
#include "test_support.h"

namespace kvr::test {
namespace {

std::shared_ptr<const game::MenuSnapshot> Published() {
  ModState& shared = ModState::Get();
  std::lock_guard<std::mutex> lock(shared.settingsLock);
  return shared.snapshot;
}

bool SamePoints(const std::vector<aps::Vec3>& a, const std::vector<aps::Vec3>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::fabs(a[i].x - b[i].x) > 1 || std::fabs(a[i].y - b[i].y) > 1) return false;
  return true;
}

TEST(ArenaView, LinkedModPublishesThePlayersCameraAndTheRoutesThugsWalk) {
  TempDir dir;
  sim::PlayOptions o;
  o.thugs = 8;
  o.seed = 3;
  o.modDir = dir.Path().string();
  o.modStart = sim::PlayOptions::ModStart::kLinked;
  o.showRoutes = true;
  o.pathWorkers = 0;
  sim::PlaySession session;
  sim::PlayReport report;
  std::string error;
  ASSERT_TRUE(sim::OpenPlay(o, session, report, error)) << error;
  EXPECT_EQ(report.configNote,
            "config.ini written with the defaults and VerboseLog = 1 and ShowPathOverlay = 1");
  sim::ThugTenure tenure;
  for (long long frame = sim::PlayFrames(session, 8.0); frame > 0; --frame) {
    sim::RunPlayFrames(session, 1);
    tenure.Update(*session.arena);
  }

  const auto snapshot = Published();
  ASSERT_TRUE(snapshot);
  const game::CameraView camera = sim::PlayerCameraView(session.world, session.arena->Player());
  ASSERT_TRUE(camera.valid && snapshot->camera.valid);
  EXPECT_EQ(snapshot->camera.location.x, camera.location.x);
  EXPECT_EQ(snapshot->camera.location.y, camera.location.y);
  EXPECT_EQ(snapshot->camera.rotation.y, camera.rotation.y);
  EXPECT_EQ(snapshot->camera.fov, camera.fov);
  // Every recent route of a thug near the camera is one the mod publishes, point for point,
  // once the mod can have seen the thug's controller and pawn (it looks around every 0.5 s).
  int matched = 0;
  for (size_t i = 0; i < session.arena->Thugs().size(); ++i) {
    const sim::ArenaThug& t = session.arena->Thugs()[i];
    const float d = std::hypot(t.position.x - camera.location.x, t.position.y - camera.location.y);
    if (t.phase != sim::ThugPhase::kAlive || t.route.size() < 2 ||
        t.lastPlan < tenure.Since(i) + 1.0 || session.arena->Now() - t.lastPlan > 8.0 ||
        d > 3700.0f)
      continue;
    bool found = false;
    for (const game::RouteLine& line : snapshot->routes)
      found = found || SamePoints(line.points, t.route);
    EXPECT_TRUE(found) << "a route of " << t.route.size() << " points";
    matched += found;
  }
  EXPECT_GE(matched, 2);
  // Their places on a picture, from the arena's camera, are where the overlay draws the mod's.
  const auto places =
      sim::ProjectThugRoutes(*session.arena, camera, 1280, 720, 8.0, 3700.0f, &tenure, 1.0);
  const auto drawn = sim::ProjectRouteLines(*snapshot, 1280, 720);
  int placed = 0;
  for (const auto& route : places) {
    for (const auto& line : drawn) {
      bool same = line.size() == route.size();
      for (size_t i = 0; same && i < line.size(); ++i)
        same = line[i].visible == route[i].visible && std::fabs(line[i].x - route[i].x) < 0.5f &&
               std::fabs(line[i].y - route[i].y) < 0.5f;
      if (same) {
        ++placed;
        break;
      }
    }
  }
  EXPECT_GE(placed, matched);

  // The mod switched the engine's avoidance on for every live thug; the menu's switch puts it
  // back as the arena spawned it.
  sim::AvoidanceCount before = sim::CountAvoidance(session.world, *session.arena);
  EXPECT_GT(before.live, 0);
  EXPECT_EQ(before.avoiding, before.live);
  {
    ModState& shared = ModState::Get();
    std::lock_guard<std::mutex> lock(shared.settingsLock);
    shared.sharedSettings.LocalAvoidance = false;
    ++shared.settingsVersion;
  }
  sim::RunPlayFrames(session, sim::PlayFrames(session, 0.5));
  EXPECT_EQ(sim::CountAvoidance(session.world, *session.arena).avoiding, 0);
  sim::ClosePlay(session, report);
  EXPECT_NE(ReadFile(dir.File("config.ini")).find("\nShowPathOverlay = 1"), std::string::npos);
}

TEST(ArenaView, SettingLinesAreSetInTheirOwnSection) {
  EXPECT_EQ(sim::WithSettingOn("[Debug]\nShowPathOverlay = 0 ; off\n", "Debug", "ShowPathOverlay"),
            "[Debug]\nShowPathOverlay = 1\n");
  EXPECT_EQ(sim::WithSettingOn("[General]\r\nShowPathOverlay = 0\r\n", "Debug", "ShowPathOverlay"),
            "[General]\r\nShowPathOverlay = 0\r\n[Debug]\r\nShowPathOverlay = 1\r\n");

  TempDir dir;
  WriteFile(dir.File("config.ini"),
            "[General]\nVerboseLog = 1\n[Debug]\nOverlayMaxDistance = 900\n");
  std::string note, error;
  ASSERT_TRUE(sim::EnsureVerboseLog(dir.Path().string(), note, error, true)) << error;
  EXPECT_EQ(note,
            "config.ini: VerboseLog = 1 and ShowPathOverlay = 1 set, every other setting kept");
  EXPECT_EQ(ReadFile(dir.File("config.ini")),
            "[General]\nVerboseLog = 1\n[Debug]\nShowPathOverlay = 1\nOverlayMaxDistance = 900\n");
}

}  // namespace
}  // namespace kvr::test
