#include "sim/arena/arena_view.h"

#include <cmath>
#include <cstdio>

#include "overlay/route_overlay.h"
#include "sim/nav/obstacle_ray.h"

namespace kvr::sim {

namespace {

ScreenPoint Project(const overlay::CameraProjection& projection, const aps::Vec3& at) {
  ImVec2 p;
  ScreenPoint out;
  out.visible = projection.Project(at, p);
  out.x = p.x;
  out.y = p.y;
  return out;
}

float Dot(const aps::Vec3& a, const aps::Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// How many of a body's sight lines from the camera an obstacle cuts: to its centre, and to
// points just inside its outline to the camera's left, right, top and bottom.
int BlockedSightLines(const std::vector<Obstacle>& obstacles,
                      const overlay::CameraProjection& projection, const aps::Vec3& feet) {
  const float r = 0.9f * kArenaBodyRadius;
  const aps::Vec3 centre{feet.x, feet.y, feet.z + kArenaBodyRadius};
  const aps::Vec3& a = projection.right;
  const aps::Vec3& b = projection.up;
  const aps::Vec3 targets[kBodySightLines] = {
      centre,
      {centre.x + a.x * r, centre.y + a.y * r, centre.z + a.z * r},
      {centre.x - a.x * r, centre.y - a.y * r, centre.z - a.z * r},
      {centre.x + b.x * r, centre.y + b.y * r, centre.z + b.z * r},
      {centre.x - b.x * r, centre.y - b.y * r, centre.z - b.z * r}};
  int blocked = 0;
  for (const aps::Vec3& t : targets)
    blocked += FirstObstacleHit(obstacles, projection.location, t, 0.0f) < 1.0f ? 1 : 0;
  return blocked;
}

}  // namespace

game::CameraView PlayerCameraView(World& world, const ArenaPlayer& player) {
  game::CameraView view;
  UObject* manager = player.objects.cameraManager;
  UObject* local = player.objects.localPlayer;
  const auto* location = world.Field<aps::Vec3>(manager, L"ViewLocation");
  const auto* rotation = world.Field<aps::Vec3>(manager, L"ViewRotation");
  const auto* fov = world.Field<float>(manager, L"DefaultFOV");
  const auto* rule = world.Field<uint8_t>(local, L"AspectRatioAxisConstraint");
  if (!location || !rotation || !fov || !rule) return view;
  view.location = *location;
  view.rotation = *rotation;
  view.fov = *fov;
  view.aspectRatioAxisConstraint = *rule;
  view.valid = true;
  return view;
}

void ThugTenure::Update(const Arena& arena) {
  const std::vector<ArenaThug>& thugs = arena.Thugs();
  if (holders_.size() < thugs.size())
    holders_.resize(thugs.size(), Holder{nullptr, nullptr, -1e300});
  for (size_t i = 0; i < thugs.size(); ++i) {
    Holder& h = holders_[i];
    if (h.controller == thugs[i].controller && h.pawn == thugs[i].body.pawn) continue;
    h = {thugs[i].controller, thugs[i].body.pawn, arena.Now()};
  }
}

double ThugTenure::Since(size_t index) const {
  return index < holders_.size() ? holders_[index].since : -1e300;
}

std::vector<std::vector<ScreenPoint>> ProjectThugRoutes(const Arena& arena,
                                                        const game::CameraView& camera, float width,
                                                        float height, double maxAge,
                                                        float maxDistance, const ThugTenure* tenure,
                                                        double settle) {
  std::vector<std::vector<ScreenPoint>> routes;
  if (!camera.valid) return routes;
  const auto projection = overlay::CameraProjection::Make(camera, width, height);
  for (size_t i = 0; i < arena.Thugs().size(); ++i) {
    const ArenaThug& t = arena.Thugs()[i];
    if (t.phase != ThugPhase::kAlive || t.route.size() < 2 || arena.Now() - t.lastPlan > maxAge)
      continue;
    if (tenure && t.lastPlan < tenure->Since(i) + settle) continue;
    const float dx = t.position.x - camera.location.x, dy = t.position.y - camera.location.y,
                dz = t.position.z - camera.location.z;
    if (std::sqrt(dx * dx + dy * dy + dz * dz) > maxDistance) continue;
    std::vector<ScreenPoint>& route = routes.emplace_back();
    for (const aps::Vec3& p : t.route) route.push_back(Project(projection, p));
  }
  return routes;
}

std::vector<std::vector<ScreenPoint>> ProjectRouteLines(const game::MenuSnapshot& snapshot,
                                                        float width, float height) {
  return ProjectRouteLines(snapshot.routes, snapshot.camera, width, height);
}

std::vector<std::vector<ScreenPoint>> ProjectRouteLines(const std::vector<game::RouteLine>& lines,
                                                        const game::CameraView& camera, float width,
                                                        float height) {
  std::vector<std::vector<ScreenPoint>> routes;
  if (!camera.valid) return routes;
  const auto projection = overlay::CameraProjection::Make(camera, width, height);
  for (const game::RouteLine& line : lines) {
    std::vector<ScreenPoint>& route = routes.emplace_back();
    for (const aps::Vec3& p : line.points) route.push_back(Project(projection, p));
  }
  return routes;
}

std::vector<ScreenPoint> ProjectBodies(const std::vector<aps::Vec3>& feet,
                                       const game::CameraView& camera, float width, float height,
                                       const std::vector<Obstacle>* obstacles) {
  std::vector<ScreenPoint> bodies;
  if (!camera.valid) return bodies;
  const auto projection = overlay::CameraProjection::Make(camera, width, height);
  for (const aps::Vec3& at : feet) {
    // Route points are raised off the floor by the projection; a body's centre is not.
    const aps::Vec3 centre{at.x, at.y, at.z + kArenaBodyRadius - overlay::kRouteRaise};
    ScreenPoint& p = bodies.emplace_back(Project(projection, centre));
    const float depth = Dot({centre.x - camera.location.x, centre.y - camera.location.y,
                             centre.z + overlay::kRouteRaise - camera.location.z},
                            projection.forward);
    p.radius = p.visible ? projection.focal * kArenaBodyRadius / depth : 0.0f;
    if (obstacles) p.blocked = BlockedSightLines(*obstacles, projection, at);
  }
  return bodies;
}

std::vector<aps::Vec3> LiveThugPositions(const Arena& arena) {
  std::vector<aps::Vec3> feet;
  for (const ArenaThug& t : arena.Thugs())
    if (t.phase == ThugPhase::kAlive) feet.push_back(t.position);
  return feet;
}

AvoidanceCount CountAvoidance(const World& world, const Arena& arena) {
  AvoidanceCount count;
  for (const ArenaThug& t : arena.Thugs()) {
    if (t.phase != ThugPhase::kAlive || !t.body.movement) continue;
    ++count.live;
    count.avoiding += world.GetBool(t.body.movement, L"bUseRVOAvoidance") ? 1 : 0;
  }
  return count;
}

std::string FormatScreenBodies(const char* label, const std::vector<ScreenPoint>& bodies) {
  std::string out;
  for (const ScreenPoint& p : bodies) {
    if (!p.visible) continue;
    char text[96];
    const char* sight = p.blocked >= kBodySightLines ? " hidden" : p.blocked > 0 ? " partly" : "";
    std::snprintf(text, sizeof text, "%s %.1f,%.1f %.1f%s\n", label, p.x, p.y, p.radius, sight);
    out += text;
  }
  return out;
}

std::string FormatScreenRoutes(const std::vector<std::vector<ScreenPoint>>& routes) {
  std::string out;
  for (const auto& route : routes) {
    out += "route";
    for (const ScreenPoint& p : route) {
      char text[48];
      if (p.visible)
        std::snprintf(text, sizeof text, " %.1f,%.1f", p.x, p.y);
      else
        std::snprintf(text, sizeof text, " -");
      out += text;
    }
    out += "\n";
  }
  return out;
}

}  // namespace kvr::sim
