// Finding and keeping the thugs and the player: the discovery pass of the per-frame update, the
// 0.1 s state refresh with damage credit and episode ends, and removing a thug.
#pragma once
#include "game/tracked_thug.h"

namespace kvr::game {

struct GameRuntime;

struct GameState;

// Ends the thug's episode with the reason, releases its genome, drops its controller index and
// erases the record. Nothing happens for a controller without a record.
void RemoveThug(GameRuntime& rt, const host::UObject* controller, const char* reason);

// Controllers of the three thug classes (a controller found twice counts once): records made,
// gone ones removed ("controller gone"), pawn changes ("new pawn"), class names, bosses,
// state and avoidance; then the player.
void DiscoverThugsAndPlayer(GameRuntime& rt);

// Player state with damage credit to the thugs near it, then every thug's state, spacing
// samples and the "time" and "died" episode ends.
void RefreshState(GameRuntime& rt, double now);

// Adds an engine object to the set the delete listener looks in; null is ignored.
void Watch(GameState& g, host::UObject* object);

}  // namespace kvr::game
