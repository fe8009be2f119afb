#include "sim/nav/level_picture.h"

#include <DetourNavMesh.h>

#include <algorithm>

namespace kvr::sim {

using report::Stroke;
using report::SvgWriter;

LevelFrame FitLevel(const Level& level, float pixels, float marginCm) {
  const float spanX = level.floorMaxX - level.floorMinX + 2 * marginCm;
  const float spanY = level.floorMaxY - level.floorMinY + 2 * marginCm;
  LevelFrame f;
  f.scale = pixels / std::max(spanX, spanY);
  f.minX = level.floorMinX - marginCm;
  f.minY = level.floorMinY - marginCm;
  f.width = spanX * f.scale;
  f.height = spanY * f.scale;
  return f;
}

void DrawLevel(SvgWriter& svg, const LevelFrame& f, const Level& level, const NavMesh& mesh) {
  const Stroke floorEdge{"#333333", 1.0, ""};
  svg.Rect(f.X(level.floorMinX), f.Y(level.floorMinY),
           (level.floorMaxX - level.floorMinX) * f.scale,
           (level.floorMaxY - level.floorMinY) * f.scale, "#F2F2F2", &floorEdge);
  const Stroke polyEdge{"#B8CFE3", 0.5, ""};
  const dtMeshTile* tile = mesh.Valid() ? mesh.Detour()->getTile(0) : nullptr;
  for (int i = 0; tile && tile->header && i < tile->header->polyCount; ++i) {
    const dtPoly& poly = tile->polys[i];
    std::vector<std::pair<double, double>> pts;
    for (int k = 0; k < poly.vertCount; ++k) {
      const aps::Vec3 v = FromRecast(&tile->verts[poly.verts[k] * 3]);
      pts.emplace_back(f.X(v.x), f.Y(v.y));
    }
    svg.Polygon(pts, "#DCEBF7", &polyEdge);
  }
  const Stroke obstacleEdge{"#333333", 1.0, ""};
  for (const Obstacle& o : LevelObstacles(level)) {
    std::vector<std::pair<double, double>> pts;
    for (int k = 0; k < 4; ++k)
      pts.emplace_back(f.X(o.footprint[k * 2]), f.Y(o.footprint[k * 2 + 1]));
    svg.Polygon(pts, "#5A5A5A", &obstacleEdge);
  }
}

std::vector<std::pair<double, double>> RoutePixels(const LevelFrame& f, const aps::Route& route) {
  std::vector<std::pair<double, double>> out;
  out.reserve(route.size());
  for (const aps::NavPoint& p : route) out.emplace_back(f.X(p.location.x), f.Y(p.location.y));
  return out;
}

void DrawMarker(SvgWriter& svg, const LevelFrame& f, const aps::Vec3& p, float radius,
                const std::string& fill, const std::string& label) {
  const Stroke edge{"#000000", 1.5, ""};
  svg.Circle(f.X(p.x), f.Y(p.y), radius, fill, &edge);
  if (!label.empty()) svg.Text(f.X(p.x) + radius + 3, f.Y(p.y) - radius - 2, label, 13);
}

void DrawScaleBar(SvgWriter& svg, const LevelFrame& f, double x, double y) {
  const double length = 1000.0 * f.scale;  // 10 m
  const Stroke bar{"#000000", 2.0, ""};
  svg.Line(x, y, x + length, y, bar);
  svg.Line(x, y - 4, x, y + 4, bar);
  svg.Line(x + length, y - 4, x + length, y + 4, bar);
  svg.Text(x + length + 6, y + 4, "10 m", 12);
}

}  // namespace kvr::sim
