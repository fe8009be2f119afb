#include "sim/report/routes_picture.h"

#include <cmath>

#include "sim/nav/level_picture.h"
#include "sim/report/svg.h"

namespace kvr::sim::report {

namespace {

constexpr double kDegrees = 3.14159265358979323846 / 180.0;
const Stroke kEngineGrey{"#707070", 1.2, "4,3"};

void DrawFireCone(SvgWriter& svg, const LevelFrame& f, const PlayerView& player) {
  const double x = f.X(player.position.x), y = f.Y(player.position.y);
  if (player.coneDegrees > 0.0f) {
    // The engine's yaw turns from +x towards +y, as the picture does.
    const double reach = player.reachCm * f.scale, half = player.coneDegrees * 0.5 * kDegrees;
    const double yaw = player.yawDegrees * kDegrees;
    std::vector<std::pair<double, double>> cone{{x, y}};
    for (int i = 0; i <= 12; ++i) {
      const double a = yaw - half + 2.0 * half * i / 12.0;
      cone.emplace_back(x + reach * std::cos(a), y + reach * std::sin(a));
    }
    // Shots stop at the level's edge; so does the cone in the picture.
    svg.Raw("<g clip-path=\"url(#floor)\">\n");
    svg.Polygon(cone, "#F8D4D4", nullptr);
    svg.Raw("</g>\n");
  }
}

void DrawPlayer(SvgWriter& svg, const LevelFrame& f, const PlayerView& player) {
  DrawMarker(svg, f, player.position, 8, "#D62828", "player");
}

void DrawThugRoute(SvgWriter& svg, const LevelFrame& f, const ThugRoute& t) {
  const bool styled = t.style >= 0 && t.style < aps::kStyleCount;
  const std::string colour = styled ? ReadableStyleColour(t.style) : "#707070";
  if (t.reshaped) {
    svg.Polyline(RoutePixels(f, t.engine), {colour, 1.2, "4,3"});
    svg.Polyline(RoutePixels(f, t.walked), {colour, 3.5, ""});
  } else {
    svg.Polyline(RoutePixels(f, t.engine), styled ? Stroke{colour, 1.2, "4,3"} : kEngineGrey);
  }
  if (!t.walked.empty()) {
    const Stroke edge{"#000000", 1.0, ""};
    const aps::Vec3 goal = t.walked.back().location;
    svg.Rect(f.X(goal.x) - 3, f.Y(goal.y) - 3, 6, 6, colour, &edge);
  }
  DrawMarker(svg, f, t.position, 4.5, t.alive ? colour : "#FFFFFF", "");
}

}  // namespace

std::string RoutesSvg(const MatchRecord& record, const Level& level, const NavMesh& mesh,
                      const std::string& title) {
  const LevelFrame f = FitLevel(level, 760.0f);
  const double top = 40, legendWidth = 260;
  SvgWriter svg(f.width + legendWidth, f.height + top + 40);
  LevelFrame shifted = f;
  shifted.minY -= static_cast<float>(top) / f.scale;  // leave room for the title
  svg.Raw("<defs><clipPath id=\"floor\"><rect x=\"" + std::to_string(shifted.X(level.floorMinX)) +
          "\" y=\"" + std::to_string(shifted.Y(level.floorMinY)) + "\" width=\"" +
          std::to_string((level.floorMaxX - level.floorMinX) * f.scale) + "\" height=\"" +
          std::to_string((level.floorMaxY - level.floorMinY) * f.scale) +
          "\"/></clipPath></defs>\n");
  DrawLevel(svg, shifted, level, mesh);
  DrawFireCone(svg, shifted, record.player);
  for (const ThugRoute& t : record.lastRoutes) DrawThugRoute(svg, shifted, t);
  DrawPlayer(svg, shifted, record.player);
  DrawScaleBar(svg, f, 12, f.height + top + 22);
  svg.Text((f.width + legendWidth) / 2, 26, title, 16, "middle", 0.0, true);

  std::vector<LegendEntry> legend;
  for (int s = 0; s < aps::kStyleCount; ++s)
    legend.push_back({aps::Style(s).name, {ReadableStyleColour(s), 3.5, ""}, false});
  legend.push_back({"reshaped route (thick)", {"#000000", 3.5, ""}, false});
  legend.push_back({"engine route (thin, dashed)", {"#000000", 1.2, "4,3"}, false});
  legend.push_back({"engine route kept, style unknown", kEngineGrey, false});
  legend.push_back({"player's fire cone", {"#F8D4D4", 1, ""}, true});
  DrawLegend(svg, f.width + 10, top, legend);
  svg.Text(f.width + 10, top + 8 + 17.0 * static_cast<double>(legend.size()) + 18,
           "dots: thugs (white = dead)", 11);
  svg.Text(f.width + 10, top + 8 + 17.0 * static_cast<double>(legend.size()) + 34,
           "squares: route goals; top view, x right", 11);
  return svg.Finish();
}

}  // namespace kvr::sim::report
