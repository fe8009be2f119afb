// Local avoidance: the engine's RVO avoidance on a thug's movement component, switched on with
// the mod's radius and weight, and put back exactly as it was when switched off.
#pragma once
#include "game/tracked_thug.h"

namespace kvr::game {

struct GameRuntime;

// On: saves the component's RVO flag, radius and weight the first time, writes AvoidanceRadius
// and AvoidanceWeight on every call (so changed settings arrive), and enables avoidance once.
// Off: writes the saved radius and weight back and calls SetAvoidanceEnabled with the saved flag.
// Does nothing for a thug without a pawn, a pawn without a movement component or a component
// without SetAvoidanceEnabled. Game thread, state lock held.
void SetAvoidance(GameRuntime& rt, TrackedThug& thug, bool on);

}  // namespace kvr::game
