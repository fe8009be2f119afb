// What the mod reads from the game about thugs, the player and the camera, by reflected name.
// A missing property or a null object keeps the earlier value or takes the stated default;
// nothing is logged. Game thread, state lock held.
#pragma once
#include <optional>

#include "game/menu_snapshot.h"
#include "game/tracked_thug.h"

namespace kvr::game {

struct GameRuntime;

struct GameState;

// Position, health, max health (only values above 0) and alive (bIsAlive and health above 0)
// from the thug's pawn. Without a pawn the thug counts as dead and nothing else changes.
void RefreshThug(TrackedThug& thug);

// Position, yaw and horizontal speed of the cached player; the current health chunks, or
// nothing when the property (or the player) is missing.
std::optional<int32_t> RefreshPlayer(PlayerCache& player);

// The pawn values a style decision reads besides its state: weight class, attack token and fear,
// with their neutral values when missing.
struct PawnInputs {
  float weightClass = 0.0f;
  bool hasAggroToken = false;
  float fear = 0.0f;
  float fearThreshold = 1.0f;
};
PawnInputs ReadPawnInputs(const host::UObject* pawn);

// The player's camera through its camera manager. A changed camera manager is cached, watched,
// and its three camera functions are resolved again. Valid when the three functions were
// called, the location is finite and the FOV lies strictly between 5 and 170 degrees.
CameraView ReadCamera(GameState& g);

}  // namespace kvr::game
