// Reshaping of a thug's path inside the engine's own path object: what FindPathHook runs on the
// game thread, under the state lock, after the engine found its path.
#pragma once
#include "aps/aps.h"
#include "settings/settings.h"

namespace kvr::game {

struct GameRuntime;

// Steps a found path through the thug check, the self-test of the path memory, the style
// decision (or the sticky rule), the per-frame budget, the arc builder and the write-back;
// every early stop leaves the engine's path as the engine made it. Counts every outcome in
// rt.game.pathHook. Caller holds the state lock and contains faults.
void ReshapeFoundPath(GameRuntime& rt, void* result, const void* agent, const void* query);

// The builder's parameters for one reshape with `style` (0..6); the agent record's radius is
// used when it is a plausible agent size.
aps::ArcParams MakeArcParams(const Settings& settings, int style, const void* agent);

}  // namespace kvr::game
