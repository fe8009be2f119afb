// The state the game layer works on: the hooks' part of the runtime, plus the brain, the game's
// hold on the engine's objects, and the files and status texts the menu shows. The composition
// root creates it (as part of the mod's runtime) and hands it to every game function.
#pragma once
#include <atomic>
#include <string>

#include "game/game_state.h"
#include "game/mod_paths.h"
#include "nav/hook_runtime.h"
#include "tactics/brain.h"

namespace kvr::game {

struct GameRuntime : HookRuntime {
  GameRuntime() { nav = &game; }
  GameRuntime(const GameRuntime&) = delete;
  GameRuntime& operator=(const GameRuntime&) = delete;

  ModPaths paths;
  std::string configStatus;
  std::string brainStatus = "not loaded";

  std::atomic<bool> listenerRegistered{false};

  tactics::Brain brain;
  GameState game;
};

// Drops what a retired runtime holds of the brain and the game. The runtime itself stays
// allocated for the callbacks the host never unregisters (they ignore every call once shut
// down), so without this each hot reload would keep a whole game's worth of records and scratch
// space. Caller holds the runtime's state lock; the navmesh table stays (the path hook's slots
// may still be restored through it).
void ReleaseRetired(GameRuntime& rt);

// Saves when SaveBrain is 1 and sets the brain status text. Caller holds the state lock.
void SaveBrainWithStatus(GameRuntime& rt, const std::string& reason);

}  // namespace kvr::game
