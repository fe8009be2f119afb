// The view from high above the arena, looking straight down with the engine's forward (X) up
// the picture and its right (Y) to the right: every thug, every approach lane and every wall
// they bend around at once. A narrow field of view from far up keeps walls from leaning much.
#pragma once
#include "game/menu_snapshot.h"
#include "sim/nav/level.h"

namespace kvr::viewer {

inline constexpr float kTopDownFov = 30.0f;  // degrees

// A camera over the floor's middle, just high enough for the whole floor (and a small border)
// to fit a width x height picture. Invalid for an empty picture.
game::CameraView TopDownCamera(const sim::Level& level, float width, float height);

}  // namespace kvr::viewer
