#include "sim/nav/navmesh_build.h"

#include <DetourAlloc.h>
#include <DetourNavMesh.h>
#include <DetourNavMeshBuilder.h>
#include <Recast.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/file.h"

namespace kvr::sim {
namespace {

// Triangle soup in Recast coordinates, with one area id per triangle.
struct Soup {
  std::vector<float> verts;
  std::vector<int> tris;
  std::vector<unsigned char> areas;

  int AddVertex(float x, float y, float z) {
    float r[3];
    ToRecast({x, y, z}, r);
    verts.insert(verts.end(), r, r + 3);
    return static_cast<int>(verts.size() / 3) - 1;
  }
  // a, b, c counter-clockwise seen from above in engine coordinates. The axis swap mirrors
  // the triangle, so it is stored as a, c, b to keep its normal pointing up for Recast.
  void AddTriangle(int a, int b, int c) {
    tris.insert(tris.end(), {a, c, b});
    areas.push_back(0);
  }
  void AddQuad(int a, int b, int c, int d) {
    AddTriangle(a, b, c);
    AddTriangle(a, c, d);
  }
};

void AddFloor(const Level& level, Soup& soup) {
  const float z = level.floorZ;
  const int a = soup.AddVertex(level.floorMinX, level.floorMinY, z);
  const int b = soup.AddVertex(level.floorMaxX, level.floorMinY, z);
  const int c = soup.AddVertex(level.floorMaxX, level.floorMaxY, z);
  const int d = soup.AddVertex(level.floorMinX, level.floorMaxY, z);
  soup.AddQuad(a, b, c, d);
}

// A closed prism: top face and four sides (the bottom is never seen by the rasteriser).
void AddObstacle(const Obstacle& o, Soup& soup) {
  int lo[4], hi[4];
  for (int i = 0; i < 4; ++i) {
    lo[i] = soup.AddVertex(o.footprint[i * 2], o.footprint[i * 2 + 1], o.minZ);
    hi[i] = soup.AddVertex(o.footprint[i * 2], o.footprint[i * 2 + 1], o.maxZ);
  }
  soup.AddQuad(hi[0], hi[1], hi[2], hi[3]);
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    soup.AddQuad(lo[i], lo[j], hi[j], hi[i]);
  }
}

struct RecastParts {
  rcHeightfield* solid = nullptr;
  rcCompactHeightfield* chf = nullptr;
  rcContourSet* contours = nullptr;
  rcPolyMesh* pmesh = nullptr;
  rcPolyMeshDetail* dmesh = nullptr;
  ~RecastParts() {
    rcFreeHeightField(solid);
    rcFreeCompactHeightfield(chf);
    rcFreeContourSet(contours);
    rcFreePolyMesh(pmesh);
    rcFreePolyMeshDetail(dmesh);
  }
};

bool MakeConfig(const Level& level, const std::vector<Obstacle>& obstacles, const NavMeshConfig& c,
                rcConfig& cfg, std::string& error) {
  if (!(c.cellSize >= 1.0f && c.cellHeight >= 1.0f && c.agentRadius >= 0.0f &&
        c.agentHeight > c.cellHeight && c.maxEdgeLength >= 0.0f && c.maxEdgeLength < 1e6f &&
        c.cellSize < 1000.0f && c.cellHeight < 1000.0f && c.agentRadius < 1000.0f &&
        c.agentHeight < 10000.0f && c.agentMaxClimb >= 0.0f && c.agentMaxClimb < 10000.0f &&
        c.agentMaxSlope >= 0.0f && c.agentMaxSlope <= 90.0f)) {
    error = "bad navmesh build settings";
    return false;
  }
  std::memset(&cfg, 0, sizeof(cfg));
  cfg.cs = c.cellSize;
  cfg.ch = c.cellHeight;
  cfg.walkableSlopeAngle = c.agentMaxSlope;
  cfg.walkableHeight = static_cast<int>(std::ceil(c.agentHeight / cfg.ch));
  cfg.walkableClimb = static_cast<int>(std::floor(c.agentMaxClimb / cfg.ch));
  cfg.walkableRadius = static_cast<int>(std::ceil(c.agentRadius / cfg.cs - 1e-4f));
  cfg.maxEdgeLen = static_cast<int>(c.maxEdgeLength / cfg.cs);
  cfg.maxSimplificationError = 1.3f;
  cfg.minRegionArea = 8 * 8;
  cfg.mergeRegionArea = 20 * 20;
  cfg.maxVertsPerPoly = 6;
  cfg.detailSampleDist = cfg.cs * 6.0f;
  cfg.detailSampleMaxError = cfg.ch;
  float top = level.floorZ, bottom = level.floorZ;
  for (const Obstacle& o : obstacles)
    top = std::max(top, o.maxZ), bottom = std::min(bottom, o.minZ);
  // A surface's span ends at the next cell boundary above it. With the boundaries a hair above
  // whole cells below the floor, the floor's span ends a hair above the floor instead of a
  // whole cell above it, so projected points land on the floor's real height.
  const float cellsBelow = 1.0f + std::ceil((level.floorZ - bottom) / cfg.ch);
  ToRecast({level.floorMinX, level.floorMinY, level.floorZ - cellsBelow * cfg.ch + 0.01f},
           cfg.bmin);
  ToRecast({level.floorMaxX, level.floorMaxY, top + c.agentHeight}, cfg.bmax);
  rcCalcGridSize(cfg.bmin, cfg.bmax, cfg.cs, &cfg.width, &cfg.height);
  if (static_cast<int64_t>(cfg.width) * cfg.height > kMaxNavGridCells ||
      (cfg.bmax[1] - cfg.bmin[1]) / cfg.ch > static_cast<float>(RC_SPAN_MAX_HEIGHT)) {
    error = "the level is too large for one navmesh tile";
    return false;
  }
  return true;
}

bool Voxelise(rcContext& ctx, const rcConfig& cfg, const Soup& soup, RecastParts& p) {
  p.solid = rcAllocHeightfield();
  if (!p.solid || !rcCreateHeightfield(&ctx, *p.solid, cfg.width, cfg.height, cfg.bmin, cfg.bmax,
                                       cfg.cs, cfg.ch))
    return false;
  std::vector<unsigned char> areas(soup.areas.size(), 0);
  const int nverts = static_cast<int>(soup.verts.size() / 3);
  const int ntris = static_cast<int>(soup.areas.size());
  rcMarkWalkableTriangles(&ctx, cfg.walkableSlopeAngle, soup.verts.data(), nverts, soup.tris.data(),
                          ntris, areas.data());
  if (!rcRasterizeTriangles(&ctx, soup.verts.data(), nverts, soup.tris.data(), areas.data(), ntris,
                            *p.solid, cfg.walkableClimb))
    return false;
  rcFilterLowHangingWalkableObstacles(&ctx, cfg.walkableClimb, *p.solid);
  rcFilterLedgeSpans(&ctx, cfg.walkableHeight, cfg.walkableClimb, *p.solid);
  rcFilterWalkableLowHeightSpans(&ctx, cfg.walkableHeight, *p.solid);
  p.chf = rcAllocCompactHeightfield();
  return p.chf &&
         rcBuildCompactHeightfield(&ctx, cfg.walkableHeight, cfg.walkableClimb, *p.solid, *p.chf);
}

// Inside a box or wall nobody walks: neither on its top nor on the floor enclosed by it.
// Marked before erosion so the agent radius keeps the mesh clear of every obstacle.
void MarkObstacles(rcContext& ctx, const rcConfig& cfg, const std::vector<Obstacle>& obstacles,
                   rcCompactHeightfield& chf) {
  for (const Obstacle& o : obstacles) {
    float verts[12];
    for (int i = 0; i < 4; ++i)
      ToRecast({o.footprint[i * 2], o.footprint[i * 2 + 1], 0.0f}, &verts[i * 3]);
    rcMarkConvexPolyArea(&ctx, verts, 4, o.minZ - cfg.ch, o.maxZ + cfg.ch, RC_NULL_AREA, chf);
  }
}

bool BuildPolygons(rcContext& ctx, const rcConfig& cfg, RecastParts& p) {
  if (!rcErodeWalkableArea(&ctx, cfg.walkableRadius, *p.chf) ||
      !rcBuildDistanceField(&ctx, *p.chf) ||
      !rcBuildRegions(&ctx, *p.chf, 0, cfg.minRegionArea, cfg.mergeRegionArea))
    return false;
  p.contours = rcAllocContourSet();
  if (!p.contours ||
      !rcBuildContours(&ctx, *p.chf, cfg.maxSimplificationError, cfg.maxEdgeLen, *p.contours))
    return false;
  p.pmesh = rcAllocPolyMesh();
  if (!p.pmesh || !rcBuildPolyMesh(&ctx, *p.contours, cfg.maxVertsPerPoly, *p.pmesh)) return false;
  p.dmesh = rcAllocPolyMeshDetail();
  return p.dmesh && rcBuildPolyMeshDetail(&ctx, *p.pmesh, *p.chf, cfg.detailSampleDist,
                                          cfg.detailSampleMaxError, *p.dmesh);
}

bool CreateTile(const rcConfig& cfg, const NavMeshConfig& c, RecastParts& p, NavMesh& out,
                std::string& error) {
  rcPolyMesh& pm = *p.pmesh;
  if (pm.npolys == 0 || pm.nverts >= 0xffff) {
    error =
        pm.npolys == 0 ? "the level has no walkable floor" : "the navmesh has too many vertices";
    return false;
  }
  for (int i = 0; i < pm.npolys; ++i) pm.flags[i] = kPolyFlagWalk;
  dtNavMeshCreateParams params;
  std::memset(&params, 0, sizeof(params));
  params.verts = pm.verts;
  params.vertCount = pm.nverts;
  params.polys = pm.polys;
  params.polyAreas = pm.areas;
  params.polyFlags = pm.flags;
  params.polyCount = pm.npolys;
  params.nvp = pm.nvp;
  params.detailMeshes = p.dmesh->meshes;
  params.detailVerts = p.dmesh->verts;
  params.detailVertsCount = p.dmesh->nverts;
  params.detailTris = p.dmesh->tris;
  params.detailTriCount = p.dmesh->ntris;
  params.walkableHeight = c.agentHeight;
  params.walkableRadius = c.agentRadius;
  params.walkableClimb = c.agentMaxClimb;
  rcVcopy(params.bmin, pm.bmin);
  rcVcopy(params.bmax, pm.bmax);
  params.cs = cfg.cs;
  params.ch = cfg.ch;
  params.buildBvTree = true;
  unsigned char* data = nullptr;
  int size = 0;
  if (!dtCreateNavMeshData(&params, &data, &size)) {
    error = "Detour could not create the navmesh data";
    return false;
  }
  return out.AdoptTileData(data, size, error);
}

// ---- file format ----------------------------------------------------------------------------

constexpr char kMagic[4] = {'K', 'V', 'R', 'N'};
constexpr uint32_t kFormatVersion = 1;
constexpr size_t kFileHeaderSize = 16;
constexpr uint32_t kMaxTileBytes = 256u * 1024u * 1024u;

uint32_t Crc32(std::string_view bytes) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t GetU32(std::string_view in, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  return v;
}

int Align4(int64_t x) {
  return static_cast<int>((x + 3) & ~int64_t{3});
}

bool Finite3(const float* v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// A vertex within the coordinates of any level: distances between such vertices stay finite.
bool InRange3(const float* v) {
  return std::fabs(v[0]) <= kMaxNavCoordinate && std::fabs(v[1]) <= kMaxNavCoordinate &&
         std::fabs(v[2]) <= kMaxNavCoordinate;
}

// Detour's closest-point search walks a polygon's detail triangles for the nearest boundary
// edge and uses what it found without checking: every polygon needs a detail triangle with a
// boundary edge.
bool HasBoundaryEdge(const unsigned char* tris, int count) {
  const int anyBoundary = (DT_DETAIL_EDGE_BOUNDARY << 0) | (DT_DETAIL_EDGE_BOUNDARY << 2) |
                          (DT_DETAIL_EDGE_BOUNDARY << 4);
  for (int k = 0; k < count; ++k)
    if (tris[k * 4 + 3] & anyBoundary) return true;
  return false;
}

// Detour quantises query boxes inside the tile bounds to 16 bits with the tile's factor (the
// builder's 1 / cell size): a factor that is not positive, or bounds too wide for it, would make
// those conversions overflow.
// Detour also finds a point's tile by dividing its offset from the tile's corner by the tile's
// width and depth and converting to int: the bounds must stay within the coordinates any level
// can have, and the tile at least a centimetre wide and deep.
bool QuantisableBounds(const dtMeshHeader& h) {
  const float q = h.bvQuantFactor;
  if (!(std::isfinite(q) && q > 0.0f)) return false;
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(h.bmin[i]) <= kMaxNavCoordinate && std::fabs(h.bmax[i]) <= kMaxNavCoordinate))
      return false;
    if (!(q * (h.bmax[i] - h.bmin[i]) + 1.0f < 65535.0f)) return false;
  }
  return h.bmax[0] - h.bmin[0] >= 1.0f && h.bmax[2] - h.bmin[2] >= 1.0f;
}

// Sizes of the tile sections, in Detour's order; -1 when a count is out of range.
int64_t ExpectedTileSize(const dtMeshHeader& h) {
  const int counts[] = {h.polyCount,       h.vertCount,      h.maxLinkCount, h.detailMeshCount,
                        h.detailVertCount, h.detailTriCount, h.bvNodeCount,  h.offMeshConCount};
  for (int c : counts)
    if (c < 0 || c > (1 << 24)) return -1;
  return int64_t{Align4(sizeof(dtMeshHeader))} + Align4(int64_t{12} * h.vertCount) +
         Align4(int64_t{sizeof(dtPoly)} * h.polyCount) +
         Align4(int64_t{sizeof(dtLink)} * h.maxLinkCount) +
         Align4(int64_t{sizeof(dtPolyDetail)} * h.detailMeshCount) +
         Align4(int64_t{12} * h.detailVertCount) + Align4(int64_t{4} * h.detailTriCount) +
         Align4(int64_t{sizeof(dtBVNode)} * h.bvNodeCount) +
         Align4(int64_t{sizeof(dtOffMeshConnection)} * h.offMeshConCount);
}

struct TileView {
  const dtMeshHeader* header;
  const float* verts;
  const dtPoly* polys;
  const dtPolyDetail* detail;
  const float* detailVerts;
  const unsigned char* detailTris;
  const dtBVNode* bv;
};

TileView ViewTile(const unsigned char* d) {
  TileView v;
  v.header = reinterpret_cast<const dtMeshHeader*>(d);
  const dtMeshHeader& h = *v.header;
  d += Align4(sizeof(dtMeshHeader));
  v.verts = reinterpret_cast<const float*>(d);
  d += Align4(int64_t{12} * h.vertCount);
  v.polys = reinterpret_cast<const dtPoly*>(d);
  d += Align4(int64_t{sizeof(dtPoly)} * h.polyCount);
  d += Align4(int64_t{sizeof(dtLink)} * h.maxLinkCount);
  v.detail = reinterpret_cast<const dtPolyDetail*>(d);
  d += Align4(int64_t{sizeof(dtPolyDetail)} * h.detailMeshCount);
  v.detailVerts = reinterpret_cast<const float*>(d);
  d += Align4(int64_t{12} * h.detailVertCount);
  v.detailTris = d;
  d += Align4(int64_t{4} * h.detailTriCount);
  v.bv = reinterpret_cast<const dtBVNode*>(d);
  return v;
}

// A neighbour must share the edge: the same two vertices, the other way round, pointing back.
// Detour's raycast walks from polygon to neighbour until the ray leaves the mesh and has no
// step limit: neighbours that do not meet would let it walk in circles for ever.
bool SharesEdgeBack(const TileView& t, int polyIndex, int edge) {
  const dtPoly& p = t.polys[polyIndex];
  const unsigned short a = p.verts[edge], b = p.verts[(edge + 1) % p.vertCount];
  const dtPoly& q = t.polys[p.neis[edge] - 1];
  for (int j = 0; j < q.vertCount; ++j)
    if (q.verts[j] == b && q.verts[(j + 1) % q.vertCount] == a && q.neis[j] == polyIndex + 1)
      return true;
  return false;
}

// Convex, seen from above, with the builder's winding and some area: the raycast's edge test
// relies on it to move forward.
bool ConvexAndWound(const TileView& t, const dtPoly& p) {
  bool turns = false;
  for (int k = 0; k < p.vertCount; ++k) {
    const float* a = &t.verts[p.verts[k] * 3];
    const float* b = &t.verts[p.verts[(k + 1) % p.vertCount] * 3];
    const float* c = &t.verts[p.verts[(k + 2) % p.vertCount] * 3];
    const float cross = (b[0] - a[0]) * (c[2] - a[2]) - (b[2] - a[2]) * (c[0] - a[0]);
    if (cross > 0.0f) return false;
    turns = turns || cross < 0.0f;
  }
  return turns;
}

bool CheckNeighbours(const TileView& t) {
  for (int i = 0; i < t.header->polyCount; ++i) {
    const dtPoly& p = t.polys[i];
    if (!ConvexAndWound(t, p)) return false;
    for (int k = 0; k < p.vertCount; ++k)
      if (p.neis[k] != 0 && !(p.neis[k] & DT_EXT_LINK) && !SharesEdgeBack(t, i, k)) return false;
  }
  return true;
}

bool CheckPolys(const TileView& t) {
  const dtMeshHeader& h = *t.header;
  for (int i = 0; i < h.polyCount; ++i) {
    const dtPoly& p = t.polys[i];
    if (p.vertCount < 3 || p.vertCount > DT_VERTS_PER_POLYGON || p.getType() != DT_POLYTYPE_GROUND)
      return false;
    for (int k = 0; k < p.vertCount; ++k) {
      if (p.verts[k] >= h.vertCount) return false;
      const unsigned short n = p.neis[k];
      if (n != 0 && !(n & DT_EXT_LINK) && n - 1 >= h.polyCount) return false;
    }
    const dtPolyDetail& dm = t.detail[i];
    if (int64_t{dm.vertBase} + dm.vertCount > h.detailVertCount ||
        int64_t{dm.triBase} + dm.triCount > h.detailTriCount)
      return false;
    for (int k = 0; k < dm.triCount; ++k)
      for (int j = 0; j < 3; ++j)
        if (t.detailTris[(dm.triBase + k) * 4 + j] >= p.vertCount + dm.vertCount) return false;
    if (!HasBoundaryEdge(t.detailTris + static_cast<size_t>(dm.triBase) * 4, dm.triCount))
      return false;
  }
  return CheckNeighbours(t);
}

// Everything Detour later indexes without checking: counts against the size, polygon vertex
// and neighbour indices, detail sub-meshes and triangles (with a boundary edge), tree leaves,
// coordinates within any level's reach.
const char* CheckTile(const unsigned char* data, size_t size) {
  const char* damaged = "the navmesh tile is damaged";
  if (size < sizeof(dtMeshHeader)) return damaged;
  const dtMeshHeader& h = *reinterpret_cast<const dtMeshHeader*>(data);
  if (h.magic != DT_NAVMESH_MAGIC || h.version != DT_NAVMESH_VERSION)
    return "the navmesh tile has the wrong Detour magic or version";
  if (ExpectedTileSize(h) != static_cast<int64_t>(size) || h.polyCount < 1 || h.vertCount < 3 ||
      h.detailMeshCount != h.polyCount || h.offMeshConCount != 0 || h.x != 0 || h.y != 0 ||
      h.layer != 0 || !Finite3(h.bmin) || !Finite3(h.bmax) || !(h.bmin[0] < h.bmax[0]) ||
      !(h.bmin[1] <= h.bmax[1]) || !(h.bmin[2] < h.bmax[2]) || !QuantisableBounds(h))
    return damaged;
  const TileView t = ViewTile(data);
  for (int i = 0; i < h.vertCount; ++i)
    if (!InRange3(&t.verts[i * 3])) return damaged;
  for (int i = 0; i < h.detailVertCount; ++i)
    if (!InRange3(&t.detailVerts[i * 3])) return damaged;
  for (int i = 0; i < h.bvNodeCount; ++i)
    if (t.bv[i].i >= h.polyCount || t.bv[i].i == INT_MIN) return damaged;
  return CheckPolys(t) ? nullptr : damaged;
}

}  // namespace

int NavMesh::PolygonCount() const {
  if (!mesh_) return 0;
  const dtMeshTile* tile = static_cast<const dtNavMesh&>(*mesh_).getTile(0);
  return tile && tile->header ? tile->header->polyCount : 0;
}

aps::Vec3 NavMesh::BoundsMin() const {
  if (!mesh_) return {};
  return FromRecast(static_cast<const dtNavMesh&>(*mesh_).getTile(0)->header->bmin);
}

aps::Vec3 NavMesh::BoundsMax() const {
  if (!mesh_) return {};
  return FromRecast(static_cast<const dtNavMesh&>(*mesh_).getTile(0)->header->bmax);
}

bool NavMesh::AdoptTileData(unsigned char* data, int size, std::string& error) {
  std::shared_ptr<dtNavMesh> mesh(dtAllocNavMesh(), [](dtNavMesh* m) { dtFreeNavMesh(m); });
  if (!mesh) {
    dtFree(data);
    error = "out of memory for the navmesh";
    return false;
  }
  const dtStatus status = mesh->init(data, size, DT_TILE_FREE_DATA);
  if (dtStatusFailed(status)) {
    // Detour only takes the data over when the tile was added, which is the last step.
    dtFree(data);
    error = "Detour refused the navmesh data";
    return false;
  }
  mesh_ = std::move(mesh);
  return true;
}

std::string_view NavMesh::TileData() const {
  if (!mesh_) return {};
  const dtMeshTile* tile = static_cast<const dtNavMesh&>(*mesh_).getTile(0);
  if (!tile || !tile->data) return {};
  return {reinterpret_cast<const char*>(tile->data), static_cast<size_t>(tile->dataSize)};
}

bool BuildNavMesh(const Level& level, const NavMeshConfig& config, NavMesh& out,
                  std::string& error) {
  if (!CheckLevel(level, error)) return false;
  const std::vector<Obstacle> obstacles = LevelObstacles(level);
  rcConfig cfg;
  if (!MakeConfig(level, obstacles, config, cfg, error)) return false;
  Soup soup;
  AddFloor(level, soup);
  for (const Obstacle& o : obstacles) AddObstacle(o, soup);
  rcContext ctx(false);
  RecastParts parts;
  if (!Voxelise(ctx, cfg, soup, parts)) {
    error = "Recast could not voxelise the level";
    return false;
  }
  MarkObstacles(ctx, cfg, obstacles, *parts.chf);
  if (!BuildPolygons(ctx, cfg, parts)) {
    error = "Recast could not build the navmesh polygons";
    return false;
  }
  return CreateTile(cfg, config, parts, out, error);
}

std::string NavMeshToBytes(const NavMesh& mesh) {
  const std::string_view tile = mesh.TileData();
  std::string out(kMagic, 4);
  PutU32(out, kFormatVersion);
  PutU32(out, static_cast<uint32_t>(tile.size()));
  PutU32(out, Crc32(tile));
  out.append(tile);
  return out;
}

bool NavMeshFromBytes(std::string_view bytes, NavMesh& out, std::string& error) {
  if (bytes.size() < kFileHeaderSize || std::memcmp(bytes.data(), kMagic, 4) != 0) {
    error = "not a navmesh file";
    return false;
  }
  if (GetU32(bytes, 4) != kFormatVersion) {
    error = "unsupported navmesh file version";
    return false;
  }
  const uint32_t size = GetU32(bytes, 8);
  if (size > kMaxTileBytes || size != bytes.size() - kFileHeaderSize) {
    error = "the navmesh file is truncated or has trailing bytes";
    return false;
  }
  const std::string_view tile = bytes.substr(kFileHeaderSize);
  if (Crc32(tile) != GetU32(bytes, 12)) {
    error = "the navmesh file's checksum does not match";
    return false;
  }
  // Detour reads the tile in place with its own alignment, so it gets its own aligned copy.
  auto* data = static_cast<unsigned char*>(dtAlloc(size == 0 ? 1 : size, DT_ALLOC_PERM));
  if (!data) {
    error = "out of memory for the navmesh";
    return false;
  }
  std::memcpy(data, tile.data(), size);
  if (const char* reason = CheckTile(data, size)) {
    error = reason;
    dtFree(data);
    return false;
  }
  return out.AdoptTileData(data, static_cast<int>(size), error);
}

bool SaveNavMesh(const NavMesh& mesh, const std::string& path, std::string& error) {
  if (!mesh.Valid()) {
    error = "no navmesh to save";
    return false;
  }
  if (platform::WriteFileReplacing(path, NavMeshToBytes(mesh)) != platform::ReplaceStatus::kOk) {
    error = "cannot write navmesh file " + path;
    return false;
  }
  return true;
}

bool LoadNavMesh(const std::string& path, NavMesh& out, std::string& error) {
  std::string bytes;
  if (!platform::ReadWholeFile(path, bytes)) {
    error = "cannot read navmesh file " + path;
    return false;
  }
  if (!NavMeshFromBytes(bytes, out, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace kvr::sim
