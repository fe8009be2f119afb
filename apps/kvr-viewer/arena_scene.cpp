#include "arena_scene.h"

#include <algorithm>
#include <cmath>

#include "overlay/route_overlay.h"
#include "sim/arena/arena_view.h"

namespace kvr::viewer {

bool ArenaScene::Open(const SceneOptions& o, std::string& error) {
  sim::PlayOptions play;
  play.level = o.level;
  play.thugs = o.thugs;
  play.seed = o.seed;
  play.modDir = o.modDir;
  play.modStart = sim::PlayOptions::ModStart::kLinked;
  play.showRoutes = true;
  play.pathWorkers = 0;  // one thread: the viewer's
  if (!sim::OpenPlay(play, session_, report_, error)) return false;
  open_ = true;
  obstacles_ = sim::LevelObstacles(session_.level);
  sim::RunPlayFrames(session_, sim::PlayFrames(session_, o.warmup));
  return true;
}

void ArenaScene::Close() {
  if (!open_) return;
  open_ = false;
  sim::ClosePlay(session_, report_);
}

void ArenaScene::Advance(double seconds) {
  const double frame = session_.setup.rules.frameSeconds;
  owed_ += seconds;
  const long long frames = static_cast<long long>(std::floor(owed_ / frame));
  owed_ -= static_cast<double>(frames) * frame;
  sim::RunPlayFrames(session_, frames);
}

game::CameraView ArenaScene::Camera() {
  return sim::PlayerCameraView(session_.world, session_.arena->Player());
}

namespace {

constexpr float kCell = 250.0f;      // floor checker size, cm
constexpr float kNearDepth = 10.0f;  // cm; polygons are cut off nearer than this

float Dot(const aps::Vec3& a, const aps::Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Projects polygons lying on the floor or on obstacles (not raised like route points), cut at
// the near plane first so that a cell under the camera still fills the bottom of the picture.
struct Projector {
  overlay::CameraProjection projection;

  float Depth(const aps::Vec3& p) const {
    return Dot(
        {p.x - projection.location.x, p.y - projection.location.y, p.z - projection.location.z},
        projection.forward);
  }
  void Polygon(ImDrawList* list, const aps::Vec3* corners, int n, ImU32 colour) const {
    ImVec2 screen[8];
    int m = 0;
    for (int i = 0; i < n && m < 8; ++i) {
      const aps::Vec3& a = corners[i];
      const aps::Vec3& b = corners[(i + 1) % n];
      const float da = Depth(a) - kNearDepth, db = Depth(b) - kNearDepth;
      if (da >= 0.0f) Add(a, screen, m);
      if ((da >= 0.0f) != (db >= 0.0f) && m < 8) {
        const float t = da / (da - db);
        Add({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t}, screen, m);
      }
    }
    if (m >= 3) list->AddConvexPolyFilled(screen, m, colour);
  }
  void Add(const aps::Vec3& p, ImVec2* screen, int& m) const {
    if (projection.Project({p.x, p.y, p.z - overlay::kRouteRaise}, screen[m])) ++m;
  }
};

void DrawFloor(ImDrawList* list, const Projector& project, const sim::Level& level) {
  const float z = level.floorZ;
  for (float x = level.floorMinX; x < level.floorMaxX; x += kCell) {
    for (float y = level.floorMinY; y < level.floorMaxY; y += kCell) {
      const float x1 = std::min(x + kCell, level.floorMaxX),
                  y1 = std::min(y + kCell, level.floorMaxY);
      const bool dark = (static_cast<int>((x - level.floorMinX) / kCell) +
                         static_cast<int>((y - level.floorMinY) / kCell)) %
                        2;
      const aps::Vec3 cell[4] = {{x, y, z}, {x1, y, z}, {x1, y1, z}, {x, y1, z}};
      project.Polygon(list, cell, 4, dark ? IM_COL32(62, 84, 64, 255) : IM_COL32(72, 96, 74, 255));
    }
  }
}

void DrawObstacle(ImDrawList* list, const Projector& project, const sim::Obstacle& o) {
  const float* f = o.footprint.data();
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    const aps::Vec3 wall[4] = {{f[2 * i], f[2 * i + 1], o.minZ},
                               {f[2 * j], f[2 * j + 1], o.minZ},
                               {f[2 * j], f[2 * j + 1], o.maxZ},
                               {f[2 * i], f[2 * i + 1], o.maxZ}};
    project.Polygon(list, wall, 4, IM_COL32(112, 92, 74, 255));
  }
  const aps::Vec3 top[4] = {
      {f[0], f[1], o.maxZ}, {f[2], f[3], o.maxZ}, {f[4], f[5], o.maxZ}, {f[6], f[7], o.maxZ}};
  project.Polygon(list, top, 4, IM_COL32(150, 128, 98, 255));
}

// A body: a disc of the pawn's radius around its centre, nearer ones drawn last.
struct Body {
  aps::Vec3 centre;
  ImU32 colour;
};

void DrawBodies(ImDrawList* list, const Projector& project, std::vector<Body>& bodies) {
  std::sort(bodies.begin(), bodies.end(), [&](const Body& a, const Body& b) {
    return project.Depth(a.centre) > project.Depth(b.centre);
  });
  for (const Body& body : bodies) {
    const float depth = project.Depth(body.centre);
    ImVec2 p;
    if (depth < kNearDepth ||
        !project.projection.Project(
            {body.centre.x, body.centre.y, body.centre.z - overlay::kRouteRaise}, p))
      continue;
    list->AddCircleFilled(p, project.projection.focal * sim::kArenaBodyRadius / depth, body.colour,
                          0);
  }
}

}  // namespace

void ArenaScene::Draw(ImDrawList* list, ImVec2 display, const game::CameraView& camera) const {
  if (!camera.valid) return;
  const Projector project{overlay::CameraProjection::Make(camera, display.x, display.y)};
  DrawFloor(list, project, session_.level);
  // Far obstacles first, so near ones cover them.
  std::vector<const sim::Obstacle*> order;
  for (const sim::Obstacle& o : obstacles_) order.push_back(&o);
  const auto distance = [&](const sim::Obstacle* o) {
    const float cx = (o->footprint[0] + o->footprint[4]) * 0.5f - camera.location.x;
    const float cy = (o->footprint[1] + o->footprint[5]) * 0.5f - camera.location.y;
    return cx * cx + cy * cy;
  };
  std::sort(order.begin(), order.end(),
            [&](const auto* a, const auto* b) { return distance(a) > distance(b); });
  for (const sim::Obstacle* o : order) DrawObstacle(list, project, *o);
  std::vector<Body> bodies;
  for (const aps::Vec3& t : sim::LiveThugPositions(*session_.arena))
    bodies.push_back({{t.x, t.y, t.z + sim::kArenaBodyRadius}, kThugColour});
  const aps::Vec3 player = session_.arena->Player().position;
  bodies.push_back({{player.x, player.y, player.z + sim::kArenaBodyRadius}, kPlayerColour});
  DrawBodies(list, project, bodies);
}

}  // namespace kvr::viewer
