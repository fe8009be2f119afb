// The state of the mod object: one per process, shared by the game thread (tick entry, fault
// guard, per-frame update, path hook), deleting threads (delete listener) and shutdown.
//
// Each layer owns its part: the navmesh hooks' part (nav::HookRuntime), the game's
// (game::GameRuntime), and here what only the lifecycle reads. The runtime is made here and
// wired to the path hook and the delete listener here.
//
// Everything that is not atomic here is guarded by `stateLock`. Lock order: the state lock may
// be held while taking ModState's settings lock, never the reverse.
#pragma once
#include <atomic>
#include <cstdint>

#include "game/game_runtime.h"

namespace kvr::mod {

inline constexpr uint32_t kFaultsBeforeSteppingAside = 20;

struct ModRuntime : game::GameRuntime {
  ModRuntime();

  std::atomic<bool> initialized{false};  // never cleared once set
  uint32_t guardCount = 0;               // faults of the per-frame update only; never reset

  // The runtime of the current mod object. A mod object made after the previous one shut down
  // (the host reloading the mod) gets a fresh runtime; earlier runtimes stay allocated, because
  // the host never unregisters the pre-callbacks that point at them (they ignore every call
  // once shut down), and a path query may still be inside the hook with an earlier one.
  static ModRuntime& Get();
  static ModRuntime& Begin();
};

}  // namespace kvr::mod
