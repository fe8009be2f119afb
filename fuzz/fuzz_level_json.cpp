// libFuzzer target: level files as the simulator reads them from users (kvr-sim --level). A
// level that parses must pass the level checks, write back to JSON that parses to the same
// level, and, when it is small enough to build quickly, build a navmesh (or refuse with a
// reason) that answers queries without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/nav/detour_nav.h"
#include "sim/nav/level.h"
#include "sim/nav/navmesh_build.h"

namespace {

using kvr::sim::Level;

bool SameLevel(const Level& a, const Level& b) {
  if (a.name != b.name || a.floorMinX != b.floorMinX || a.floorMinY != b.floorMinY ||
      a.floorMaxX != b.floorMaxX || a.floorMaxY != b.floorMaxY || a.floorZ != b.floorZ ||
      a.boxes.size() != b.boxes.size() || a.walls.size() != b.walls.size())
    return false;
  for (size_t i = 0; i < a.boxes.size(); ++i) {
    const auto &p = a.boxes[i], &q = b.boxes[i];
    if (p.min.x != q.min.x || p.min.y != q.min.y || p.min.z != q.min.z || p.max.x != q.max.x ||
        p.max.y != q.max.y || p.max.z != q.max.z)
      return false;
  }
  for (size_t i = 0; i < a.walls.size(); ++i) {
    const auto &p = a.walls[i], &q = b.walls[i];
    if (p.fromX != q.fromX || p.fromY != q.fromY || p.toX != q.toX || p.toY != q.toY ||
        p.thickness != q.thickness || p.height != q.height)
      return false;
  }
  return true;
}

// Builds only what takes a few milliseconds: a few thousand grid cells and obstacles.
bool SmallEnoughToBuild(const Level& level) {
  const double cells = (static_cast<double>(level.floorMaxX) - level.floorMinX) / 17.0 *
                       ((static_cast<double>(level.floorMaxY) - level.floorMinY) / 17.0);
  return cells <= 40000.0 && level.boxes.size() + level.walls.size() <= 32;
}

void Query(const Level& level) {
  kvr::sim::NavMesh mesh;
  std::string error;
  if (!kvr::sim::BuildNavMesh(level, kvr::sim::NavMeshConfig{}, mesh, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return;
  }
  kvr::sim::DetourNav nav(mesh);
  const kvr::aps::Vec3 a{level.floorMinX + 1.0f, level.floorMinY + 1.0f, level.floorZ};
  const kvr::aps::Vec3 b{level.floorMaxX - 1.0f, level.floorMaxY - 1.0f, level.floorZ};
  kvr::aps::Vec3 projected;
  nav.ProjectPoint(a, projected);
  kvr::aps::Route route;
  if (nav.FindPath(a, b, route) && route.size() < 1) std::abort();
  nav.HasLineOfSight(a, b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Level level;
  std::string error;
  if (!kvr::sim::ParseLevel(text, level, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (!kvr::sim::CheckLevel(level, error)) std::abort();
  Level again;
  if (!kvr::sim::ParseLevel(kvr::sim::LevelToJson(level), again, error) || !SameLevel(level, again))
    std::abort();
  if (SmallEnoughToBuild(level)) Query(level);
  return 0;
}
