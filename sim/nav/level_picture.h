// Top-down pictures of a level: the floor, the navmesh's polygons and the obstacles, in an SVG
// with x to the right and y down, as the engine's top view shows it. Route previews and match
// reports draw their routes over it.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "aps/aps.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/level.h"
#include "sim/report/svg.h"

namespace kvr::sim {

// Maps engine centimetres to picture pixels.
struct LevelFrame {
  float minX = 0, minY = 0, scale = 1;
  float X(float x) const { return (x - minX) * scale; }
  float Y(float y) const { return (y - minY) * scale; }
  float width = 0, height = 0;  // of the level part of the picture, pixels
};

// A frame that fits the level's floor plus a margin into `pixels` on its longer side.
LevelFrame FitLevel(const Level& level, float pixels, float marginCm = 100.0f);

// Floor, navmesh polygons and obstacles.
void DrawLevel(report::SvgWriter& svg, const LevelFrame& frame, const Level& level,
               const NavMesh& mesh);

std::vector<std::pair<double, double>> RoutePixels(const LevelFrame& frame,
                                                   const aps::Route& route);

// A labelled dot.
void DrawMarker(report::SvgWriter& svg, const LevelFrame& frame, const aps::Vec3& p, float radius,
                const std::string& fill, const std::string& label);

// A 10 m bar with its label, its left end at (x, y) in pixels.
void DrawScaleBar(report::SvgWriter& svg, const LevelFrame& frame, double x, double y);

}  // namespace kvr::sim
