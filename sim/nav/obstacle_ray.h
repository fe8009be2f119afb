// Straight sight lines against a level's obstacles: where a segment first enters a box or wall,
// and where a following camera may sit. A game's camera boom casts from the character towards
// the camera's wanted place and stops short of the first thing in the way; the arena's camera
// does the same, so no picture is ever taken from inside a wall.
#pragma once
#include <vector>

#include "aps/aps.h"
#include "sim/nav/level.h"

namespace kvr::sim {

// How far a camera stays from any obstacle surface, cm: more than the near plane of the
// pictures drawn from it, so a wall just behind the camera's back is not cut open.
inline constexpr float kCameraClearance = 30.0f;

// The fraction (0..1) of the way from `from` to `to` at which the segment first enters an
// obstacle grown by `margin` cm on every side; 1 when it enters none. A segment that starts
// inside one answers 0.
float FirstObstacleHit(const std::vector<Obstacle>& obstacles, const aps::Vec3& from,
                       const aps::Vec3& to, float margin);

// Where a camera that wants to sit at `wanted` while it follows `target` ends up: at `wanted`
// when nothing stands between them, else on the line between them where it first comes within
// kCameraClearance of an obstacle.
aps::Vec3 PullCameraIn(const std::vector<Obstacle>& obstacles, const aps::Vec3& target,
                       const aps::Vec3& wanted);

}  // namespace kvr::sim
