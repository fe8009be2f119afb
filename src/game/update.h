// The per-frame update: the mod's game-thread heartbeat. Called by the fault guard with the
// state lock held, on every ReceiveTick of the game thread; it throttles itself to 240 runs a
// second, adopts settings changes, serves the menu's requests and finds the engine objects it
// works with.
#pragma once

namespace kvr::game {

struct GameRuntime;

struct GameState;

inline constexpr double kUpdateInterval = 1.0 / 240.0;
inline constexpr double kDiscoveryInterval = 0.5;
inline constexpr double kRefreshInterval = 0.1;
inline constexpr double kSnapshotInterval = 0.2;
inline constexpr double kOverlaySnapshotInterval = 1.0 / 60.0;  // while routes are drawn
inline constexpr double kCostLogInterval = 10.0;  // the run's cost per frame, VerboseLog only

// True when the throttle lets an update run now. The fault guard asks first, so the many
// ReceiveTicks of a frame that the throttle turns away cost one comparison and no guard set-up.
bool UpdateDue(const GameState& g, double now);

void Update(GameRuntime& rt);

}  // namespace kvr::game
