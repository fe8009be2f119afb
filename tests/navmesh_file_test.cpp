// Navmesh files: a saved navmesh loads back to the same mesh, and damaged or hostile files are
// refused with a reason before Detour reads them.
#include <DetourNavMesh.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "nav_fixture.h"
#include "sim/nav/detour_nav.h"
#include "test_support.h"

namespace {

using kvr::aps::Route;
using kvr::sim::NavMesh;

uint32_t Crc32(const std::string& bytes, size_t from) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = from; i < bytes.size(); ++i) {
    crc ^= static_cast<unsigned char>(bytes[i]);
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

// Rewrites the checksum so that only the structural checks stand between Detour and the bytes.
void Reseal(std::string& bytes) {
  const uint32_t crc = Crc32(bytes, 16);
  for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
}

dtMeshHeader* Header(std::string& bytes) {
  return reinterpret_cast<dtMeshHeader*>(&bytes[16]);
}

TEST(NavMeshFile, SaveThenLoadAnswersTheSame) {
  const NavMesh& built = kvr::test::Arena().mesh;
  kvr::test::TempDir dir;
  std::string error;
  ASSERT_TRUE(kvr::sim::SaveNavMesh(built, dir.File("arena.navmesh"), error)) << error;
  NavMesh loaded;
  ASSERT_TRUE(kvr::sim::LoadNavMesh(dir.File("arena.navmesh"), loaded, error)) << error;
  EXPECT_EQ(loaded.PolygonCount(), built.PolygonCount());
  EXPECT_EQ(kvr::sim::NavMeshToBytes(loaded), kvr::test::ReadFile(dir.File("arena.navmesh")));
  kvr::sim::DetourNav a(built), b(loaded);
  Route ra, rb;
  ASSERT_TRUE(a.FindPath({-2800, -2800, 0}, {2800, 0, 0}, ra));
  ASSERT_TRUE(b.FindPath({-2800, -2800, 0}, {2800, 0, 0}, rb));
  ASSERT_EQ(ra.size(), rb.size());
  for (size_t i = 0; i < ra.size(); ++i) {
    EXPECT_EQ(ra[i].location.x, rb[i].location.x);
    EXPECT_EQ(ra[i].location.y, rb[i].location.y);
    EXPECT_EQ(ra[i].nodeRef, rb[i].nodeRef);
  }
  EXPECT_FALSE(b.FindPath({0, 0, 0}, {2000, 2000, 0}, rb));
}

TEST(NavMeshFile, DamagedFilesAreRefused) {
  const std::string good = kvr::sim::NavMeshToBytes(kvr::test::Arena().mesh);
  std::vector<std::string> bad = {"", "KVRN", good.substr(0, good.size() - 1), good + "x"};
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x10;
  bad.push_back(flipped);
  std::string magic = good;
  magic[0] = 'X';
  bad.push_back(magic);
  std::string version = good;
  version[4] = 9;
  bad.push_back(version);
  std::string huge = good;
  huge[11] = 0x7F;  // tile size 2 GB
  bad.push_back(huge);
  for (const std::string& bytes : bad) {
    NavMesh mesh;
    std::string error;
    EXPECT_FALSE(kvr::sim::NavMeshFromBytes(bytes, mesh, error)) << bytes.size();
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(mesh.Valid());
  }
  kvr::test::TempDir dir;
  NavMesh mesh;
  std::string error;
  EXPECT_FALSE(kvr::sim::LoadNavMesh(dir.File("none.navmesh"), mesh, error));
  EXPECT_NE(error.find("none.navmesh"), std::string::npos);
}

// Correct checksums over wrong structure: every index Detour follows is checked first.
TEST(NavMeshFile, HostileTilesWithValidChecksumsAreRefused) {
  const std::string good = kvr::sim::NavMeshToBytes(kvr::test::Arena().mesh);
  const dtMeshTile* tile = kvr::test::Arena().mesh.Detour()->getTile(0);
  const size_t polys = 16 + (reinterpret_cast<const unsigned char*>(tile->polys) - tile->data);
  const size_t detail =
      16 + (reinterpret_cast<const unsigned char*>(tile->detailMeshes) - tile->data);
  auto edit = [&](auto change) {
    std::string bytes = good;
    change(bytes);
    Reseal(bytes);
    NavMesh mesh;
    std::string error;
    const bool loaded = kvr::sim::NavMeshFromBytes(bytes, mesh, error);
    EXPECT_EQ(loaded, error.empty()) << error;
    EXPECT_EQ(loaded, mesh.Valid());
    return loaded;
  };
  EXPECT_TRUE(edit([](std::string&) {}));  // the resealed original is fine
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->polyCount += 1; }));
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->vertCount = -5; }));
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->offMeshConCount = 1; }));
  EXPECT_FALSE(edit([&](std::string& b) {
    dtPoly* p = reinterpret_cast<dtPoly*>(&b[polys]);
    p->verts[1] = 0xFFF0;
  }));
  EXPECT_FALSE(edit([&](std::string& b) {
    dtPoly* p = reinterpret_cast<dtPoly*>(&b[polys]);
    p->neis[0] = 0x7FFF;
  }));
  EXPECT_FALSE(edit([&](std::string& b) {
    dtPolyDetail* d = reinterpret_cast<dtPolyDetail*>(&b[detail]);
    d->triBase = 0x7FFFFFFF;
  }));
  EXPECT_FALSE(edit([](std::string& b) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(&Header(b)->bmin[0], &nan, sizeof(nan));
  }));
  // Bounds and quantisation factor that make Detour's 16-bit query boxes overflow.
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->bvQuantFactor = -1.0f / 17.0f; }));
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->bvQuantFactor = 0.0f; }));
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->bvQuantFactor = 100.0f; }));
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->bmax[1] = Header(b)->bmin[1] - 50.0f; }));
  // A polygon without a detail triangle, or whose detail triangles have no boundary edge:
  // Detour's closest-point search would use an edge it never found.
  EXPECT_FALSE(
      edit([&](std::string& b) { reinterpret_cast<dtPolyDetail*>(&b[detail])->triCount = 0; }));
  EXPECT_FALSE(edit([&](std::string& b) {
    const dtPolyDetail* d = reinterpret_cast<const dtPolyDetail*>(&b[detail]);
    const size_t tris = 16 + (tile->detailTris - tile->data);
    for (int k = 0; k < d->triCount; ++k) b[tris + (d->triBase + k) * 4 + 3] = 0;
  }));
  // Neighbours that do not share an edge, and a polygon wound the wrong way: Detour's raycast
  // could walk between them for ever.
  EXPECT_FALSE(edit([&](std::string& b) {
    dtPoly* p = reinterpret_cast<dtPoly*>(&b[polys]);
    for (int k = 0; k < p->vertCount; ++k)
      if (p->neis[k] != 0 && !(p->neis[k] & DT_EXT_LINK)) {
        p->neis[k] = static_cast<unsigned short>(p->neis[k] % tile->header->polyCount + 1);
        if (p->neis[k] == 1) p->neis[k] = 2;  // never itself
        return;
      }
    FAIL() << "the first polygon has no inner neighbour";
  }));
  EXPECT_FALSE(edit([&](std::string& b) {
    dtPoly* p = reinterpret_cast<dtPoly*>(&b[polys]);
    std::reverse(p->verts, p->verts + p->vertCount);
  }));
  // Bounds beyond any level, or a tile too narrow to divide by: Detour's tile lookup would
  // convert an out-of-range quotient to int.
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->bmin[0] = -2.0e7f; }));
  EXPECT_FALSE(edit([](std::string& b) { Header(b)->bmax[2] = Header(b)->bmin[2] + 0.5f; }));
}

TEST(NavMeshFile, PointsBeyondAnyLevelAreOffTheNavmesh) {
  kvr::sim::DetourNav nav(kvr::test::Arena().mesh);
  kvr::aps::Vec3 projected;
  Route route;
  EXPECT_TRUE(nav.ProjectPoint({-2800, -2800, 0}, projected));
  EXPECT_FALSE(nav.ProjectPoint({-2800, 3.0e30f, 0}, projected));
  EXPECT_FALSE(nav.FindPath({-2800, -2800, 0}, {1.0e9f, 0, 0}, route));
  EXPECT_FALSE(nav.HasLineOfSight({-2800, -2800, 0}, {0, 0, -1.0e12f}));
  kvr::sim::DetourNav wide(kvr::test::Arena().mesh, {1.0e30f, 1.0e30f, 1.0e30f});
  EXPECT_FALSE(wide.Valid());
}

}  // namespace
