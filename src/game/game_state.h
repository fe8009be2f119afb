// Game-side state of the mod: what it holds of the engine's objects, and the timers of the
// per-frame update. Guarded by the state lock; lives for the whole process.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "host/api/host.h"
#include "host/reflection.h"
#include "nav/navmesh_table.h"
#include "nav/path_hook_state.h"

namespace kvr::game {

struct GameState {
  // Every engine object the mod holds a pointer to; the delete listener looks here first.
  std::unordered_set<const host::UObject*> watched;

  NavMeshTable navmeshes;
  // First FindPath that passed the fingerprint; read by the path hook on any thread.
  std::atomic<FindPathFn> acceptedFindPath{nullptr};
  bool exactBuild = false;
  std::string queryExtentStatus;

  // The navigation system's class default object and its two query layouts, built once.
  host::UObject* navigationSystem = nullptr;
  host::ParamLayout projectLayout;
  host::ParamLayout raycastLayout;

  host::UObject* playerPawn = nullptr;
  host::UObject* cameraManager = nullptr;

  // Timers in SteadySeconds; all start at 0.
  double lastUpdate = 0.0;
  double lastDiscovery = 0.0;
  double lastRefresh = 0.0;
  double lastSnapshot = 0.0;
  double lastAutosave = 0.0;
  double frameRate = 0.0;  // updates per second, smoothed

  // Per-frame reshaping budget, zeroed at the start of every update.
  int32_t reshapesThisFrame = 0;
  double builderMsThisFrame = 0.0;

  PathHookState pathHook;

  // Updates that ran (after the throttle); for tests and the stand-in host's report.
  uint64_t updatesRun = 0;
};

}  // namespace kvr::game
