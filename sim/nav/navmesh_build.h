// Navmeshes of the simulated engine: built from a Level with Recast, queried with Detour.
//
// Frames: levels and every public coordinate are engine centimetres with Z up. Recast and
// Detour work with Y up, so engine (x, y, z) is stored as Recast (x, z, y). That swap is a
// mirror, which turns counter-clockwise triangles clockwise; the builder emits its triangles
// so that walkable surfaces face up after the swap (see ToRecast in navmesh_build.cpp).
//
// A NavMesh is immutable once built or loaded and is shared by copying (the Detour mesh is
// reference counted), so any number of threads may query it through their own DetourNav.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "aps/aps.h"
#include "sim/nav/level.h"

class dtNavMesh;

namespace kvr::sim {

// Every polygon carries this flag: Detour's default filter skips polygons with no flags.
inline constexpr uint16_t kPolyFlagWalk = 0x01;

struct NavMeshConfig {
  float cellSize = 17.0f;     // cm; the agent radius is exactly two cells
  float cellHeight = 10.0f;   // cm
  float agentRadius = 34.0f;  // cm
  float agentHeight = 180.0f;
  float agentMaxClimb = 40.0f;
  float agentMaxSlope = 45.0f;    // degrees
  float maxEdgeLength = 1200.0f;  // cm; longer polygon edges are split
};

// Grids larger than this many cells are refused (a hostile level could ask for gigabytes).
inline constexpr int64_t kMaxNavGridCells = 16 * 1024 * 1024;

// No navmesh reaches beyond this many cm from the origin on any axis (levels stay within 500 m),
// and DetourNav treats points beyond it as off the navmesh: Detour converts offsets from the
// tile's corner, divided by the tile size, to int without checking their range.
inline constexpr float kMaxNavCoordinate = 1.0e7f;

class NavMesh {
 public:
  bool Valid() const { return mesh_ != nullptr; }
  const dtNavMesh* Detour() const { return mesh_.get(); }
  std::shared_ptr<const dtNavMesh> Shared() const { return mesh_; }

  int PolygonCount() const;
  // The tile's bounds in engine coordinates.
  aps::Vec3 BoundsMin() const;
  aps::Vec3 BoundsMax() const;

  // Wraps Detour tile data (allocated with dtAlloc; owned afterwards even on failure).
  bool AdoptTileData(unsigned char* data, int size, std::string& error);
  // The raw Detour tile data, for saving.
  std::string_view TileData() const;

 private:
  std::shared_ptr<dtNavMesh> mesh_;
};

// Builds the navmesh of a level; false with a one-line reason.
bool BuildNavMesh(const Level& level, const NavMeshConfig& config, NavMesh& out,
                  std::string& error);

// Navmesh files: "KVRN", format version, tile size, CRC-32 of the tile, Detour tile data.
// Loading checks the whole tile structure before Detour sees it, so a damaged or hostile file
// is refused instead of read out of bounds.
std::string NavMeshToBytes(const NavMesh& mesh);
bool NavMeshFromBytes(std::string_view bytes, NavMesh& out, std::string& error);
bool SaveNavMesh(const NavMesh& mesh, const std::string& path, std::string& error);
bool LoadNavMesh(const std::string& path, NavMesh& out, std::string& error);

// Engine <-> Recast/Detour coordinates.
inline void ToRecast(const aps::Vec3& v, float* out) {
  out[0] = v.x;
  out[1] = v.z;
  out[2] = v.y;
}
inline aps::Vec3 FromRecast(const float* v) {
  return {v[0], v[2], v[1]};
}

}  // namespace kvr::sim
