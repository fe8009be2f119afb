#include "sim/arena/play_window.h"

#include <chrono>

#include "game/menu_publisher.h"
#include "game/update.h"
#include "platform/file.h"
#include "settings/settings.h"
#include "sim/arena/arena_view.h"

namespace kvr::sim {

namespace {

// Routes the picture shows for sure: a little younger and nearer than the mod's own limits
// (its clock and its view of a thug's position run a frame or two apart from the arena's).
constexpr double kRouteAgeMargin = 2.0;
constexpr float kDistanceMargin = 300.0f;

std::string DescribeShot(PlaySession& session, const ThugTenure& tenure, const std::string& path,
                         int width, int height) {
  const AvoidanceCount avoidance = CountAvoidance(session.world, *session.arena);
  const game::CameraView camera = PlayerCameraView(session.world, session.arena->Player());
  const auto routes = ProjectThugRoutes(
      *session.arena, camera, static_cast<float>(width), static_cast<float>(height),
      game::kRouteLineMaxAge - kRouteAgeMargin, Settings{}.OverlayMaxDistance - kDistanceMargin);
  const std::string summary = std::to_string(avoidance.live) + " thugs, " +
                              std::to_string(avoidance.avoiding) + " avoiding, " +
                              std::to_string(routes.size()) + " routes";
  const std::string text = "thugs " + std::to_string(avoidance.live) + " avoiding " +
                           std::to_string(avoidance.avoiding) + "\n" + FormatScreenRoutes(routes);
  if (platform::WriteFileReplacing(path + ".txt", text) != platform::ReplaceStatus::kOk)
    return summary + " (cannot write " + path + ".txt)";
  return summary;
}

}  // namespace

bool RunPlayPresented(const PlayOptions& options, const PresentOptions& present, PlayReport& r,
                      PresentReport& presented, std::string& error) {
  PlayOptions o = options;
  o.modStart = PlayOptions::ModStart::kModuleByWindow;
  o.showRoutes = true;
  o.pathWorkers = 0;
  PlaySession session;
  if (!OpenPlay(o, session, r, error)) return false;
  if (!session.host->Running()) {
    error = "a presented play run needs the mod (--mod-dir)";
    ClosePlay(session, r);
    return false;
  }
  ThugTenure tenure;
  Arena& arena = *session.arena;
  // Registered after the arena's own hook, so it runs after the arena's step.
  const int hook = session.world.AddFrameHook([&](World&, double) { tenure.Update(arena); });
  PresentOptions p = present;
  p.window = true;
  p.afterShot = [&](const std::string& path, int width, int height) {
    return DescribeShot(session, tenure, path, width, height);
  };
  const auto started = std::chrono::steady_clock::now();
  const bool ok = DrivePresented(session.host->Mod(), session.world, p,
                                 static_cast<int>(PlayFrames(session, o.minutes * 60.0)),
                                 session.setup.rules.frameSeconds, presented, error);
  r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  session.world.RemoveFrameHook(hook);
  ClosePlay(session, r);
  return ok;
}

}  // namespace kvr::sim
