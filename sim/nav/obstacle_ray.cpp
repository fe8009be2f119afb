#include "sim/nav/obstacle_ray.h"

#include <algorithm>
#include <cmath>

namespace kvr::sim {

namespace {

// The part [enter, exit] of the segment's parameter range that lies on the inner side of one
// bounding plane, given as `start` (signed distance of the start beyond the plane, positive
// outside) and `rate` (its change over the whole segment). False when nothing is left.
bool Clip(float start, float rate, float& enter, float& exit) {
  if (rate == 0.0f) return start <= 0.0f;
  const float t = -start / rate;
  if (rate < 0.0f)
    enter = std::max(enter, t);  // coming in through this plane
  else
    exit = std::min(exit, t);  // leaving through it
  return enter <= exit;
}

// Twice the signed area of the footprint: positive when its corners run counter-clockwise.
float Winding(const std::array<float, 8>& f) {
  float sum = 0.0f;
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    sum += f[2 * i] * f[2 * j + 1] - f[2 * j] * f[2 * i + 1];
  }
  return sum;
}

// Where the segment enters the grown prism (Cyrus-Beck against its six planes), or 2 when it
// misses it.
float EnterPrism(const Obstacle& o, const aps::Vec3& from, const aps::Vec3& d, float margin) {
  float enter = 0.0f, exit = 1.0f;
  if (!Clip(o.minZ - margin - from.z, -d.z, enter, exit) ||
      !Clip(from.z - o.maxZ - margin, d.z, enter, exit))
    return 2.0f;
  const float side = Winding(o.footprint) >= 0.0f ? 1.0f : -1.0f;
  const float* f = o.footprint.data();
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    const float ex = f[2 * j] - f[2 * i], ey = f[2 * j + 1] - f[2 * i + 1];
    const float length = std::sqrt(ex * ex + ey * ey);
    if (length == 0.0f) continue;
    // Outward normal of this edge, of unit length so that `margin` is in centimetres.
    const float nx = side * ey / length, ny = -side * ex / length;
    const float start = nx * (from.x - f[2 * i]) + ny * (from.y - f[2 * i + 1]) - margin;
    if (!Clip(start, nx * d.x + ny * d.y, enter, exit)) return 2.0f;
  }
  return enter;
}

}  // namespace

float FirstObstacleHit(const std::vector<Obstacle>& obstacles, const aps::Vec3& from,
                       const aps::Vec3& to, float margin) {
  const aps::Vec3 d{to.x - from.x, to.y - from.y, to.z - from.z};
  float first = 1.0f;
  for (const Obstacle& o : obstacles) first = std::min(first, EnterPrism(o, from, d, margin));
  return first;
}

aps::Vec3 PullCameraIn(const std::vector<Obstacle>& obstacles, const aps::Vec3& target,
                       const aps::Vec3& wanted) {
  const float t = FirstObstacleHit(obstacles, target, wanted, kCameraClearance);
  if (t >= 1.0f) return wanted;
  return {target.x + (wanted.x - target.x) * t, target.y + (wanted.y - target.y) * t,
          target.z + (wanted.z - target.z) * t};
}

}  // namespace kvr::sim
