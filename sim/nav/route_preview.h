// Route preview: what the engine would walk between two points and what a style makes of it,
// as text, JSON or a top-down SVG picture. Backs `kvr-sim route`, so a modder can look at an
// approach style on a level without the game.
#pragma once
#include <string>

#include "aps/aps.h"
#include "settings/settings.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/level.h"

namespace kvr::sim {

struct RoutePreview {
  int style = 0;
  aps::Route engine;  // the engine's own path
  aps::Route route;   // the reshaped route, or the engine's when the builder kept it
  bool reshaped = false;
  aps::ArcStats stats;
  int apex = -1;            // route point farthest out to the style's side; -1 when not reshaped
  std::string keptBecause;  // why the mod's settings keep the engine route; empty otherwise
};

// The builder's parameters for a style with the default settings (strength scale 1).
aps::ArcParams StyleArcParams(int style);

// Runs the engine path search and the builder. False with a one-line reason when a point is
// off the navmesh, no complete path exists or the style index is out of range.
bool PreviewRoute(aps::INav& nav, const aps::Vec3& from, const aps::Vec3& to, int style,
                  RoutePreview& out, std::string& error);

// The same under a user's settings, deciding as the mod does: no reshape for Direct, with
// ArcPaths off or for a trip shorter than MinArcDistance (keptBecause says which), and the
// builder's parameters made from the settings.
bool PreviewRoute(aps::INav& nav, const aps::Vec3& from, const aps::Vec3& to, int style,
                  const Settings& settings, RoutePreview& out, std::string& error);

// Sum of horizontal segment lengths.
float HorizontalRouteLength(const aps::Route& route);

std::string RoutePreviewText(const RoutePreview& preview);
std::string RoutePreviewJson(const RoutePreview& preview);
// Level, navmesh polygons, engine route (thin, grey) and route in the style's colour with the
// apex marked; x to the right and y down, as the engine's top view shows it.
std::string RoutePreviewSvg(const RoutePreview& preview, const Level& level, const NavMesh& mesh);

}  // namespace kvr::sim
