// libFuzzer target: navmesh files as the simulator loads them. Each input is loaded as given and
// with its size and checksum fields made to fit, so that the mutations reach the tile checks.
// A tile that loads must answer Detour queries without reading out of bounds, and what it saves
// must load again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "persistence/brain_file.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/navmesh_build.h"

namespace {

void Load(const std::string& bytes) {
  kvr::sim::NavMesh mesh;
  std::string error;
  if (!kvr::sim::NavMeshFromBytes(bytes, mesh, error)) {
    if (error.empty()) std::abort();
    return;
  }
  // Detour writes its links into the tile it was given, so the saved bytes may differ from the
  // loaded ones; they must load again all the same.
  kvr::sim::NavMesh again;
  if (!kvr::sim::NavMeshFromBytes(kvr::sim::NavMeshToBytes(mesh), again, error)) std::abort();
  kvr::sim::DetourNav nav(mesh);
  const kvr::aps::Vec3 lo = mesh.BoundsMin(), hi = mesh.BoundsMax();
  const kvr::aps::Vec3 a{lo.x + 0.25f * (hi.x - lo.x), lo.y + 0.25f * (hi.y - lo.y), lo.z};
  const kvr::aps::Vec3 b{lo.x + 0.75f * (hi.x - lo.x), lo.y + 0.75f * (hi.y - lo.y), hi.z};
  kvr::aps::Vec3 projected;
  nav.ProjectPoint(a, projected);
  nav.ProjectPoint(b, projected);
  kvr::aps::Route route;
  nav.FindPath(a, b, route);
  nav.FindPath(b, a, route);
  nav.HasLineOfSight(a, b);
  mesh.PolygonCount();
}

void PutU32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  Load(bytes);
  if (bytes.size() >= 16) {
    const std::string_view tile = std::string_view(bytes).substr(16);
    PutU32(bytes, 8, static_cast<uint32_t>(tile.size()));
    PutU32(bytes, 12, kvr::persistence::Crc32(tile));  // the same CRC-32 as the brain file's
    Load(bytes);
  }
  return 0;
}
