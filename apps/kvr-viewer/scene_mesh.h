// The arena as solid triangles for a depth-tested picture: the checkered floor, the obstacles
// as shaded prisms, thugs and the player as upright cylinders. Plain data, no drawing.
#pragma once
#include <cstdint>
#include <vector>

#include "aps/aps.h"
#include "imgui.h"
#include "sim/nav/level.h"

namespace kvr::viewer {

struct Vertex {
  float x, y, z;
  ImU32 colour;  // R, G, B, A bytes in memory order, as OpenGL reads them
};

struct SceneMesh {
  std::vector<Vertex> triangles;  // three vertices each

  void Clear() { triangles.clear(); }
  // A convex quad, corners in order around it.
  void Quad(const aps::Vec3& a, const aps::Vec3& b, const aps::Vec3& c, const aps::Vec3& d,
            ImU32 colour);
  void Triangle(const aps::Vec3& a, const aps::Vec3& b, const aps::Vec3& c, ImU32 colour);
};

// The floor as a checker of 2.5 m cells, and every obstacle with its sides shaded by a fixed
// light so that corners read as corners.
void AddLevel(SceneMesh& mesh, const sim::Level& level,
              const std::vector<sim::Obstacle>& obstacles);

// A body standing at `feet`: a cylinder of kArenaBodyRadius, twice that high (its middle is the
// centre the pictures' place files name). Its sides are shaded by how squarely they face `eye`,
// so the part facing the viewer keeps the body's own colour.
void AddBody(SceneMesh& mesh, const aps::Vec3& feet, ImU32 colour, const aps::Vec3& eye);

}  // namespace kvr::viewer
