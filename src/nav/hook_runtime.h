// The part of the mod's runtime that the navmesh hooks work with: the state lock, the settings
// copy of the game thread, the lifecycle flags the path hook checks on every query, and the
// navigation state the installer fills and the hook reads. The layers above extend it; the
// composition root creates the whole runtime and points the hook at it.
//
// Everything that is not atomic here is guarded by `stateLock`. Lock order: the state lock may
// be held while taking ModState's settings lock, never the reverse.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "host/api/host.h"
#include "host/reflection.h"
#include "nav/navmesh_table.h"
#include "nav/path_hook_state.h"
#include "platform/code_range.h"
#include "settings/settings.h"

namespace kvr::game {

// Decides which ProcessEvent calls drive the mod: only "ReceiveTick", only on the thread of the
// first one. Written without a lock; the game thread id is written once.
struct TickGate {
  std::atomic<uint32_t> receiveTickIndex{0};  // comparison index of "ReceiveTick", 0 = not found
  std::atomic<uint64_t> callsWhileUnknown{0};
  std::atomic<uint32_t> gameThreadId{0};  // 0 = not known yet
};

// What the mod knows of the engine's navigation: the navmeshes, the FindPath they share, the
// navigation system's query layouts, the per-frame reshaping budget and the hook's own figures.
struct NavState {
  NavMeshTable navmeshes;
  // First FindPath that passed the fingerprint; read by the path hook on any thread.
  std::atomic<FindPathFn> acceptedFindPath{nullptr};
  bool exactBuild = false;
  std::string queryExtentStatus;

  // The navigation system's class default object and its two query layouts, built once.
  host::UObject* navigationSystem = nullptr;
  host::ParamLayout projectLayout;
  host::ParamLayout raycastLayout;

  // Per-frame reshaping budget, zeroed at the start of every update.
  int32_t reshapesThisFrame = 0;
  double builderMsThisFrame = 0.0;

  PathHookState pathHook;
};

// The path hook's step after the engine found a path: on the game thread, under the state lock,
// with machine faults contained by the hook. Handed in by the composition root, because what a
// path is reshaped into is the game's decision.
struct PathReshaper {
  void (*reshape)(void* user, void* result, const void* agent, const void* query) = nullptr;
  void* user = nullptr;
};

struct HookRuntime {
  std::mutex stateLock;

  // Game-thread copy of the settings and the shared version it was copied at.
  Settings gameSettings;
  uint64_t gameSettingsVersion = 0;

  std::string pathSafetyStatus;
  platform::CodeRange codeSection;

  // Lifecycle flags; shuttingDown and gameExitSeen are never cleared once set.
  std::atomic<bool> shuttingDown{false};
  std::atomic<bool> gameExitSeen{false};
  std::atomic<bool> reshapingDisabled{false};

  TickGate tickGate;

  uint64_t totalFaults = 0;  // shown by the menu; the path hook adds its faults here too

  NavState* nav = nullptr;  // the navigation state of this runtime, set by its owner
  PathReshaper reshaper;
};

// The runtime FindPathHook serves. The engine calls the hook through a bare function pointer,
// so the hook finds its runtime here, without a lock; the composition root points it at each
// new runtime and keeps the earlier ones alive for calls still under way.
void ServePathHook(HookRuntime* rt);
HookRuntime* PathHookRuntime();

// True on the thread that is running the per-frame update (it holds the state lock). Code the
// engine may run inside the update's ProcessEvent calls checks it before taking the state lock.
bool InsideUpdate();

void SetInsideUpdate(bool inside);

}  // namespace kvr::game
