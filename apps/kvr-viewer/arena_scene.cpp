#include "arena_scene.h"

#include <algorithm>
#include <cmath>

#include "overlay/route_overlay.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/navmesh_build.h"
#include "sim/nav/route_preview.h"

namespace kvr::viewer {

namespace {

constexpr float kCell = 250.0f;        // floor checker size, cm
constexpr float kPawnRadius = 45.0f;   // cm
constexpr float kCameraBack = 700.0f;  // behind the player, cm
constexpr float kCameraUp = 1200.0f;

// Thug spots in front of the player and the style each one approaches with.
constexpr struct {
  float x, y;
  int style;
} kThugSpots[] = {{1600, -1500, 1}, {2300, -700, 3}, {2600, 200, 5},
                  {2200, 1000, 6},  {1500, 1700, 4}, {900, 600, 2}};

void AddRows(ArenaScene& s) {
  game::MenuSnapshot& m = s.snapshot;
  m.tickAlive = true;
  m.frameRate = 60.0;
  m.navmeshCount = m.hookedCount = 1;
  m.selfTestPassed = true;
  m.playerPresent = true;
  m.playerHealthChunks = 5;
  m.layerSizes = {12, 16, 12, 7};
  m.generation = 3;
  m.explorationRate = 0.21f;
  for (int g = 0; g < 8; ++g) m.genomes.push_back({g, g / 3, 6 + 3 * g, g < 6 ? 1 : 0, 0.1 * g});
  for (const Thug& t : s.thugs) {
    game::ThugRow row;
    row.pawnClassName = "BP_Thug_C";
    row.genome = static_cast<int>(m.thugs.size());
    row.currentStyle = t.style;
    row.healthFraction = 1.0f;
    row.distanceToPlayer = std::hypot(t.position.x - s.player.x, t.position.y - s.player.y);
    for (int k = 0; k < aps::kStyleCount; ++k) row.outputs[k] = 0.3f + 0.1f * ((k + t.style) % 5);
    m.thugs.push_back(row);
  }
  std::sort(m.thugs.begin(), m.thugs.end(),
            [](const auto& a, const auto& b) { return a.distanceToPlayer < b.distanceToPlayer; });
  m.thugsTracked = static_cast<int32_t>(m.thugs.size());
  m.brainStatus = "kvr-viewer: routes planned by the mod's arc builder on this level";
  m.configStatus = "kvr-viewer: settings changed here stay in the viewer";
  m.statusRows = {{"Navigation queries", 1, "Detour navmesh of the level"},
                  {"Thugs tracked", 1, std::to_string(m.thugs.size()) + " thugs on the level"}};
}

}  // namespace

bool BuildArenaScene(const std::string& levelFile, ArenaScene& s, std::string& error) {
  if (!sim::LoadLevelFile(levelFile, s.level, error)) return false;
  sim::NavMesh mesh;
  if (!sim::BuildNavMesh(s.level, {}, mesh, error)) return false;
  s.obstacles = sim::LevelObstacles(s.level);
  const float z = s.level.floorZ;
  s.player = {s.level.floorMinX + 800.0f, 0.0f, z};
  sim::DetourNav nav(mesh);
  for (const auto& spot : kThugSpots) {
    const Thug thug{{spot.x, spot.y, z}, spot.style};
    sim::RoutePreview preview;
    std::string why;
    if (sim::InsideObstacle(s.level, spot.x, spot.y, kPawnRadius) ||
        !sim::PreviewRoute(nav, thug.position, s.player, spot.style, preview, why))
      continue;
    s.thugs.push_back(thug);
    game::RouteLine line;
    for (const aps::NavPoint& p : preview.route) line.points.push_back(p.location);
    line.style = spot.style;
    line.colour = aps::Style(spot.style).colour;
    line.reshaped = preview.reshaped;
    line.label = std::string(aps::Style(spot.style).name) + (preview.reshaped ? "" : " (engine)");
    s.snapshot.routes.push_back(std::move(line));
  }
  game::CameraView& camera = s.snapshot.camera;
  camera.valid = true;
  camera.location = {s.player.x - kCameraBack, s.player.y, z + kCameraUp};
  camera.rotation = {-36.0f, 0.0f, 0.0f};
  camera.fov = 90.0f;
  camera.aspectRatioAxisConstraint = 1;
  AddRows(s);
  return true;
}

namespace {

// Projects corners that lie on the floor or on obstacles (not raised like route points).
struct Projector {
  overlay::CameraProjection projection;
  bool operator()(float x, float y, float z, ImVec2& out) const {
    return projection.Project({x, y, z - overlay::kRouteRaise}, out);
  }
};

void Quad(ImDrawList* list, const Projector& project, const aps::Vec3 (&c)[4], ImU32 colour) {
  ImVec2 p[4];
  for (int i = 0; i < 4; ++i)
    if (!project(c[i].x, c[i].y, c[i].z, p[i])) return;
  list->AddConvexPolyFilled(p, 4, colour);
}

void DrawFloor(ImDrawList* list, const Projector& project, const sim::Level& level) {
  const float z = level.floorZ;
  for (float x = level.floorMinX; x < level.floorMaxX; x += kCell) {
    for (float y = level.floorMinY; y < level.floorMaxY; y += kCell) {
      const float x1 = std::min(x + kCell, level.floorMaxX),
                  y1 = std::min(y + kCell, level.floorMaxY);
      const bool dark = (static_cast<int>((x - level.floorMinX) / kCell) +
                         static_cast<int>((y - level.floorMinY) / kCell)) %
                        2;
      Quad(list, project, {{x, y, z}, {x1, y, z}, {x1, y1, z}, {x, y1, z}},
           dark ? IM_COL32(62, 84, 64, 255) : IM_COL32(72, 96, 74, 255));
    }
  }
}

void DrawObstacle(ImDrawList* list, const Projector& project, const sim::Obstacle& o) {
  const float* f = o.footprint.data();
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    Quad(list, project,
         {{f[2 * i], f[2 * i + 1], o.minZ},
          {f[2 * j], f[2 * j + 1], o.minZ},
          {f[2 * j], f[2 * j + 1], o.maxZ},
          {f[2 * i], f[2 * i + 1], o.maxZ}},
         IM_COL32(112, 92, 74, 255));
  }
  Quad(list, project,
       {{f[0], f[1], o.maxZ}, {f[2], f[3], o.maxZ}, {f[4], f[5], o.maxZ}, {f[6], f[7], o.maxZ}},
       IM_COL32(150, 128, 98, 255));
}

void DrawPawn(ImDrawList* list, const overlay::CameraProjection& projection, const aps::Vec3& at,
              ImU32 colour) {
  const aps::Vec3 centre{at.x, at.y, at.z + kPawnRadius - overlay::kRouteRaise};
  ImVec2 p;
  if (!projection.Project(centre, p)) return;
  const aps::Vec3 d{centre.x - projection.location.x, centre.y - projection.location.y,
                    centre.z + overlay::kRouteRaise - projection.location.z};
  const float depth =
      d.x * projection.forward.x + d.y * projection.forward.y + d.z * projection.forward.z;
  list->AddCircleFilled(p, projection.focal * kPawnRadius / depth, colour, 0);
}

}  // namespace

void DrawArena(ImDrawList* list, ImVec2 display, const ArenaScene& s) {
  const overlay::CameraProjection projection =
      overlay::CameraProjection::Make(s.snapshot.camera, display.x, display.y);
  const Projector project{projection};
  DrawFloor(list, project, s.level);
  // Far obstacles first, so near ones cover them.
  std::vector<const sim::Obstacle*> order;
  for (const sim::Obstacle& o : s.obstacles) order.push_back(&o);
  const auto distance = [&](const sim::Obstacle* o) {
    const float cx = (o->footprint[0] + o->footprint[4]) * 0.5f - projection.location.x;
    const float cy = (o->footprint[1] + o->footprint[5]) * 0.5f - projection.location.y;
    return cx * cx + cy * cy;
  };
  std::sort(order.begin(), order.end(),
            [&](const auto* a, const auto* b) { return distance(a) > distance(b); });
  for (const sim::Obstacle* o : order) DrawObstacle(list, project, *o);
  for (const Thug& t : s.thugs) DrawPawn(list, projection, t.position, IM_COL32(200, 60, 50, 255));
  DrawPawn(list, projection, s.player, IM_COL32(60, 120, 230, 255));
}

}  // namespace kvr::viewer
