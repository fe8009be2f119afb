// The state of the mod object: one per process, shared by the game thread (tick entry, fault
// guard, per-frame update, path hook), deleting threads (delete listener) and shutdown.
//
// Everything that is not atomic here is guarded by `stateLock`. Lock order: the state lock may
// be held while taking ModState's settings lock, never the reverse.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "game/game_state.h"
#include "host/mod_paths.h"
#include "platform/code_range.h"
#include "settings/settings.h"
#include "tactics/brain.h"

namespace kvr::host {

// Decides which ProcessEvent calls drive the mod: only "ReceiveTick", only on the thread of the
// first one. Written without a lock; the game thread id is written once.
struct TickGate {
  std::atomic<uint32_t> receiveTickIndex{0};  // comparison index of "ReceiveTick", 0 = not found
  std::atomic<uint64_t> callsWhileUnknown{0};
  std::atomic<uint32_t> gameThreadId{0};  // 0 = not known yet
};

inline constexpr uint32_t kFaultsBeforeSteppingAside = 20;

struct ModRuntime {
  std::mutex stateLock;

  // Game-thread copy of the settings and the shared version it was copied at.
  Settings gameSettings;
  uint64_t gameSettingsVersion = 0;

  ModPaths paths;
  std::string configStatus;
  std::string brainStatus = "not loaded";
  std::string pathSafetyStatus;

  platform::CodeRange codeSection;

  // Lifecycle flags; shuttingDown and gameExitSeen are never cleared once set.
  std::atomic<bool> initialized{false};
  std::atomic<bool> listenerRegistered{false};
  std::atomic<bool> shuttingDown{false};
  std::atomic<bool> gameExitSeen{false};
  std::atomic<bool> reshapingDisabled{false};

  TickGate tickGate;

  uint64_t totalFaults = 0;  // shown by the menu; the path hook adds its faults here too
  uint32_t guardCount = 0;   // faults of the per-frame update only; never reset

  tactics::Brain brain;
  game::GameState game;

  // The runtime of the current mod object. A mod object made after the previous one shut down
  // (the host reloading the mod) gets a fresh runtime; earlier runtimes stay allocated, because
  // the host never unregisters the pre-callbacks that point at them (they ignore every call
  // once shut down).
  static ModRuntime& Get();
  static ModRuntime& Begin();
};

}  // namespace kvr::host
