// The shipped levels and their navmeshes, loaded and built once per test run.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "sim/nav/level.h"
#include "sim/nav/navmesh_build.h"

namespace kvr::test {

struct NavLevel {
  kvr::sim::Level level;
  kvr::sim::NavMesh mesh;
};

// Fails the calling test (and returns an empty level) when the level cannot be built.
inline const NavLevel& SharedNavLevel(const std::string& name) {
  static std::map<std::string, NavLevel> cache;
  auto it = cache.find(name);
  if (it == cache.end()) {
    NavLevel built;
    std::string error;
    const bool ok = kvr::sim::LoadLevelFile(kvr::sim::LevelPath(name), built.level, error) &&
                    kvr::sim::BuildNavMesh(built.level, {}, built.mesh, error);
    EXPECT_TRUE(ok) << error;
    it = cache.emplace(name, std::move(built)).first;
  }
  return it->second;
}

inline const NavLevel& Arena() {
  return SharedNavLevel("arena");
}

// True when every point of the segment, sampled every 10 cm, lies on the navmesh (projects onto
// itself within 1 cm). Unlike a raycast this does not depend on how Detour treats a ray that
// runs exactly along a polygon edge, which path corners often do.
inline bool SegmentOnNavmesh(kvr::aps::INav& nav, const kvr::aps::Vec3& a,
                             const kvr::aps::Vec3& b) {
  const float len = std::hypot(b.x - a.x, b.y - a.y);
  const int steps = 1 + static_cast<int>(len / 10.0f);
  for (int i = 0; i <= steps; ++i) {
    const float t = static_cast<float>(i) / static_cast<float>(steps);
    const kvr::aps::Vec3 p{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
    kvr::aps::Vec3 q;
    if (!nav.ProjectPoint(p, q) || std::hypot(q.x - p.x, q.y - p.y) > 1.0f) return false;
  }
  return true;
}

}  // namespace kvr::test
