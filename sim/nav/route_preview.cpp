#include "sim/nav/route_preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "game/path_reshape.h"
#include "sim/nav/level_picture.h"

namespace kvr::sim {
namespace {

using aps::Route;
using aps::Vec3;

float Horizontal(const Vec3& a, const Vec3& b) {
  return std::hypot(b.x - a.x, b.y - a.y);
}

// The point bent farthest towards the side the style asks for (left of travel is
// (dir.y, -dir.x) in the engine's frame).
int FindApex(const Route& route, float strength) {
  if (route.size() < 3) return -1;
  const Vec3 a = route.front().location, b = route.back().location;
  const float len = Horizontal(a, b);
  if (len <= 0.0f) return -1;
  const float sx = (b.y - a.y) / len, sy = -(b.x - a.x) / len;
  const float sign = strength >= 0.0f ? 1.0f : -1.0f;
  int best = -1;
  float bestOffset = 0.0f;
  for (size_t i = 1; i + 1 < route.size(); ++i) {
    const Vec3 p = route[i].location;
    const float offset = ((p.x - a.x) * sx + (p.y - a.y) * sy) * sign;
    if (best < 0 || offset > bestOffset) best = static_cast<int>(i), bestOffset = offset;
  }
  return best;
}

std::string Format(const char* fmt, double a, double b = 0, double c = 0, double d = 0) {
  char buf[256];
  std::snprintf(buf, sizeof(buf), fmt, a, b, c, d);
  return buf;
}

std::string PointText(const Vec3& p) {
  return Format("(%.1f, %.1f, %.1f)", p.x, p.y, p.z);
}

std::string RouteText(const Route& route, int apex) {
  std::string out;
  for (size_t i = 0; i < route.size(); ++i) {
    const float seg = i == 0 ? 0.0f : Horizontal(route[i - 1].location, route[i].location);
    out += Format("  %3.0f ", static_cast<double>(i)) + PointText(route[i].location) +
           Format("  +%.1f cm", seg) + (static_cast<int>(i) == apex ? "  <- apex" : "") + "\n";
  }
  return out;
}

std::string StatsText(const aps::ArcStats& s) {
  return Format("stats: %.0f projections, %.0f path searches, %.0f line tests (%.0f queries)\n",
                s.projections, s.pathSearches, s.lineTests, s.Queries()) +
         Format("       %.0f candidates tried, %.0f scored, best score %.3f\n", s.candidatesTried,
                s.candidatesScored, s.bestScore) +
         Format("       %.0f humps accepted, %.0f rejected for stretch\n", s.humpsAccepted,
                s.humpsRejectedStretch) +
         Format("       %.0f points removed by shortcuts, %.0f as collinear\n", s.removedShortcuts,
                s.removedCollinear);
}

// Millimetre precision: 0.01f would otherwise print as 0.010000228881835938.
double Rounded(float v) {
  return std::round(static_cast<double>(v) * 1000.0) / 1000.0;
}

nlohmann::json RouteJson(const Route& route) {
  nlohmann::json out = nlohmann::json::array();
  for (const aps::NavPoint& p : route)
    out.push_back({Rounded(p.location.x), Rounded(p.location.y), Rounded(p.location.z)});
  return out;
}

}  // namespace

aps::ArcParams StyleArcParams(int style) {
  const aps::StyleInfo& info = aps::Style(style);
  aps::ArcParams params;
  params.strength = std::clamp(info.strength, -3.0f, 3.0f);
  params.humps = info.humps;
  return params;
}

namespace {

// The engine's path between two navmesh points; false with the reason otherwise.
bool EngineRoute(aps::INav& nav, const Vec3& from, const Vec3& to, int style, RoutePreview& out,
                 std::string& error) {
  if (style < 0 || style >= aps::kStyleCount) {
    error = "style must be 0..6";
    return false;
  }
  Vec3 onMesh;
  if (!nav.ProjectPoint(from, onMesh)) {
    error = "start " + PointText(from) + " is not on the navmesh";
    return false;
  }
  if (!nav.ProjectPoint(to, onMesh)) {
    error = "goal " + PointText(to) + " is not on the navmesh";
    return false;
  }
  out = RoutePreview{};
  out.style = style;
  if (!nav.FindPath(from, to, out.engine)) {
    error = "no complete path from " + PointText(from) + " to " + PointText(to);
    return false;
  }
  return true;
}

void Reshape(aps::INav& nav, const aps::ArcParams& params, RoutePreview& preview) {
  preview.reshaped =
      preview.engine.size() >= 2 &&
      aps::BuildArcRoute(nav, preview.engine.front().location, preview.engine.back().location,
                         params, preview.route, preview.stats) &&
      preview.route.size() >= 2;
  if (preview.reshaped)
    preview.apex = FindApex(preview.route, params.strength);
  else
    preview.route = preview.engine;
}

// Why the mod would leave this engine route as it is, or empty when it would reshape it.
std::string KeptBecause(const Settings& s, const RoutePreview& p) {
  if (!s.ArcPaths) return "ArcPaths = 0: the mod keeps the engine's routes";
  if (p.style < 1) return "Direct: the mod keeps the engine's route";
  const float trip = Horizontal(p.engine.front().location, p.engine.back().location);
  if (trip < s.MinArcDistance)
    return Format(
        "the trip (%.0f cm) is shorter than MinArcDistance = %.0f: the mod keeps the "
        "engine's route",
        static_cast<double>(trip), static_cast<double>(s.MinArcDistance));
  return {};
}

}  // namespace

bool PreviewRoute(aps::INav& nav, const Vec3& from, const Vec3& to, int style, RoutePreview& out,
                  std::string& error) {
  RoutePreview preview;
  if (!EngineRoute(nav, from, to, style, preview, error)) return false;
  Reshape(nav, StyleArcParams(style), preview);
  out = std::move(preview);
  return true;
}

bool PreviewRoute(aps::INav& nav, const Vec3& from, const Vec3& to, int style,
                  const Settings& settings, RoutePreview& out, std::string& error) {
  RoutePreview preview;
  if (!EngineRoute(nav, from, to, style, preview, error)) return false;
  if (!preview.engine.empty()) preview.keptBecause = KeptBecause(settings, preview);
  if (preview.keptBecause.empty())
    Reshape(nav, game::MakeArcParams(settings, style, nullptr), preview);
  else
    preview.route = preview.engine;
  out = std::move(preview);
  return true;
}

float HorizontalRouteLength(const Route& route) {
  float total = 0.0f;
  for (size_t i = 1; i < route.size(); ++i)
    total += Horizontal(route[i - 1].location, route[i].location);
  return total;
}

std::string RoutePreviewText(const RoutePreview& p) {
  const aps::StyleInfo& info = aps::Style(p.style);
  const float engineLength = HorizontalRouteLength(p.engine);
  std::string out = "style " + std::to_string(p.style) + " \"" + info.name + "\"" +
                    Format(" (strength %+.2f, humps %.0f)\n", info.strength, info.humps);
  out += "engine route: " + std::to_string(p.engine.size()) + " points, " +
         Format("%.1f cm\n", engineLength) + RouteText(p.engine, -1);
  if (p.reshaped) {
    const float length = HorizontalRouteLength(p.route);
    out += "reshaped route: " + std::to_string(p.route.size()) + " points, " +
           Format("%.1f cm (%+.1f%% against the engine route)\n", length,
                  engineLength > 0 ? (length / engineLength - 1.0f) * 100.0f : 0.0f) +
           RouteText(p.route, p.apex);
  }
  out += StatsText(p.stats);
  if (!p.keptBecause.empty())
    out += "settings: " + p.keptBecause + "\n";
  else
    out += p.reshaped ? "builder: succeeded, the reshaped route replaces the engine route\n"
                      : "builder: no arc, the engine route is kept\n";
  return out;
}

std::string RoutePreviewJson(const RoutePreview& p) {
  const aps::ArcStats& s = p.stats;
  nlohmann::json out;
  out["engine"] = RouteJson(p.engine);
  out["route"] = RouteJson(p.route);
  out["reshaped"] = p.reshaped;
  out["style"] = p.style;
  out["apex"] = p.apex;
  if (!p.keptBecause.empty()) out["keptBecause"] = p.keptBecause;
  out["stats"] = {{"projections", s.projections},
                  {"pathSearches", s.pathSearches},
                  {"lineTests", s.lineTests},
                  {"candidatesTried", s.candidatesTried},
                  {"candidatesScored", s.candidatesScored},
                  {"bestScore", s.bestScore},
                  {"humpsAccepted", s.humpsAccepted},
                  {"humpsRejectedStretch", s.humpsRejectedStretch},
                  {"removedShortcuts", s.removedShortcuts},
                  {"removedCollinear", s.removedCollinear}};
  return out.dump() + "\n";
}

std::string RoutePreviewSvg(const RoutePreview& p, const Level& level, const NavMesh& mesh) {
  const LevelFrame f = FitLevel(level, 800.0f);
  const aps::StyleInfo& info = aps::Style(p.style);
  const std::string colour = report::HexColour(info.colour);
  const double legendWidth = 250;
  report::SvgWriter svg(f.width + legendWidth, f.height + 48);
  DrawLevel(svg, f, level, mesh);
  const report::Stroke engine{"#8C8C8C", 1.5, ""}, reshaped{colour, 3.5, ""};
  svg.Polyline(RoutePixels(f, p.engine), engine);
  if (p.reshaped) svg.Polyline(RoutePixels(f, p.route), reshaped);
  if (!p.engine.empty()) {
    DrawMarker(svg, f, p.engine.front().location, 5, "#FFFFFF", "start");
    DrawMarker(svg, f, p.engine.back().location, 5, "#000000", "goal");
  }
  if (p.apex >= 0 && p.apex < static_cast<int>(p.route.size()))
    DrawMarker(svg, f, p.route[p.apex].location, 6, colour, "apex");
  svg.Text(8, f.height + 18,
           level.name + ": style " + std::to_string(p.style) + " " + info.name +
               (p.reshaped ? "" : " (engine route kept)"),
           15);
  DrawScaleBar(svg, f, 12, f.height + 36);
  std::vector<report::LegendEntry> legend = {{"engine route", engine, false}};
  if (p.reshaped) legend.push_back({std::string(info.name) + " route", reshaped, false});
  legend.push_back({"walkable (navmesh)", {"#DCEBF7", 1.0, ""}, true});
  legend.push_back({"obstacle", {"#5A5A5A", 1.0, ""}, true});
  report::DrawLegend(svg, f.width + 10, 10, legend);
  const double notes = 10 + 8 + 17.0 * static_cast<double>(legend.size()) + 18;
  svg.Text(f.width + 10, notes, "white dot: start, black dot: goal", 11);
  if (p.apex >= 0) svg.Text(f.width + 10, notes + 15, "apex: farthest point to the side", 11);
  svg.Text(f.width + 10, notes + 30, "top view, x right, y down", 11);
  return svg.Finish();
}

}  // namespace kvr::sim
