#include "scene_mesh.h"

#include <algorithm>
#include <cmath>

#include "sim/arena/arena_view.h"

namespace kvr::viewer {

namespace {

constexpr float kCell = 250.0f;  // floor checker size, cm
constexpr int kBodySides = 16;
constexpr ImU32 kFloorLight = IM_COL32(72, 96, 74, 255);
constexpr ImU32 kFloorDark = IM_COL32(62, 84, 64, 255);
constexpr ImU32 kObstacleSide = IM_COL32(150, 126, 100, 255);
constexpr ImU32 kObstacleTop = IM_COL32(178, 156, 124, 255);

// The colour at `light` (0..1) of its full brightness.
ImU32 Shaded(ImU32 colour, float light) {
  const auto channel = [&](int shift) {
    const float c = static_cast<float>((colour >> shift) & 0xFF) * std::clamp(light, 0.0f, 1.0f);
    return static_cast<ImU32>(c + 0.5f) << shift;
  };
  return channel(IM_COL32_R_SHIFT) | channel(IM_COL32_G_SHIFT) | channel(IM_COL32_B_SHIFT) |
         (colour & IM_COL32_A_MASK);
}

void AddFloor(SceneMesh& mesh, const sim::Level& level) {
  const float z = level.floorZ;
  for (float x = level.floorMinX; x < level.floorMaxX; x += kCell) {
    for (float y = level.floorMinY; y < level.floorMaxY; y += kCell) {
      const float x1 = std::min(x + kCell, level.floorMaxX),
                  y1 = std::min(y + kCell, level.floorMaxY);
      const bool dark = (static_cast<int>((x - level.floorMinX) / kCell) +
                         static_cast<int>((y - level.floorMinY) / kCell)) %
                        2;
      mesh.Quad({x, y, z}, {x1, y, z}, {x1, y1, z}, {x, y1, z}, dark ? kFloorDark : kFloorLight);
    }
  }
}

// Sides lit from one fixed side, none darker than 60%: each corner reads as a corner, and a
// face turned away from the light stays readable.
void AddObstacle(SceneMesh& mesh, const sim::Obstacle& o) {
  const float* f = o.footprint.data();
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    const float ex = f[2 * j] - f[2 * i], ey = f[2 * j + 1] - f[2 * i + 1];
    const float length = std::max(std::sqrt(ex * ex + ey * ey), 1e-3f);
    const float towardsLight = (ey * 0.6f - ex * 0.8f) / length;  // outward normal . light
    mesh.Quad({f[2 * i], f[2 * i + 1], o.minZ}, {f[2 * j], f[2 * j + 1], o.minZ},
              {f[2 * j], f[2 * j + 1], o.maxZ}, {f[2 * i], f[2 * i + 1], o.maxZ},
              Shaded(kObstacleSide, 0.8f + 0.2f * towardsLight));  // 60% to full
  }
  mesh.Quad({f[0], f[1], o.maxZ}, {f[2], f[3], o.maxZ}, {f[4], f[5], o.maxZ}, {f[6], f[7], o.maxZ},
            kObstacleTop);
}

}  // namespace

void SceneMesh::Triangle(const aps::Vec3& a, const aps::Vec3& b, const aps::Vec3& c, ImU32 colour) {
  triangles.push_back({a.x, a.y, a.z, colour});
  triangles.push_back({b.x, b.y, b.z, colour});
  triangles.push_back({c.x, c.y, c.z, colour});
}

void SceneMesh::Quad(const aps::Vec3& a, const aps::Vec3& b, const aps::Vec3& c, const aps::Vec3& d,
                     ImU32 colour) {
  Triangle(a, b, c, colour);
  Triangle(a, c, d, colour);
}

void AddLevel(SceneMesh& mesh, const sim::Level& level,
              const std::vector<sim::Obstacle>& obstacles) {
  AddFloor(mesh, level);
  for (const sim::Obstacle& o : obstacles) AddObstacle(mesh, o);
}

void AddBody(SceneMesh& mesh, const aps::Vec3& feet, ImU32 colour, const aps::Vec3& eye) {
  const float r = sim::kArenaBodyRadius, top = feet.z + 2.0f * r;
  const float ex = eye.x - feet.x, ey = eye.y - feet.y;
  const float reach = std::max(std::sqrt(ex * ex + ey * ey), 1e-3f);
  const aps::Vec3 cap{feet.x, feet.y, top};
  for (int k = 0; k < kBodySides; ++k) {
    const float a0 = 6.2831853f * k / kBodySides, a1 = 6.2831853f * (k + 1) / kBodySides;
    const float mid = 0.5f * (a0 + a1);
    const float facing = (std::cos(mid) * ex + std::sin(mid) * ey) / reach;
    const aps::Vec3 p0{feet.x + r * std::cos(a0), feet.y + r * std::sin(a0), feet.z};
    const aps::Vec3 p1{feet.x + r * std::cos(a1), feet.y + r * std::sin(a1), feet.z};
    mesh.Quad(p0, p1, {p1.x, p1.y, top}, {p0.x, p0.y, top},
              Shaded(colour, 0.6f + 0.4f * std::max(0.0f, facing)));
    mesh.Triangle(cap, {p0.x, p0.y, top}, {p1.x, p1.y, top}, colour);
  }
}

}  // namespace kvr::viewer
