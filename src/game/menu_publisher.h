// Building the MenuSnapshot on the game thread and handing it to the render thread.
#pragma once
#include "game/menu_snapshot.h"

namespace kvr::game {

struct GameRuntime;

// Route lines older than this are not drawn.
inline constexpr double kRouteLineMaxAge = 10.0;

// Fills `s` from the state (state lock held, game thread). Every field is written, so a
// snapshot used before is refilled in place and keeps the capacity of its strings and lists.
// Reads the camera when ShowPathOverlay is 1.
void BuildMenuSnapshot(GameRuntime& rt, double now, MenuSnapshot& s);

// Builds a snapshot and swaps it into ModState under the settings lock. The previous one comes
// back as the next build's storage when the render thread no longer holds it.
void PublishMenuSnapshot(GameRuntime& rt, double now);

}  // namespace kvr::game
