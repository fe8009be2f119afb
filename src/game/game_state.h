// Game-side state of the mod: what it holds of the engine's objects, and the timers of the
// per-frame update. Guarded by the state lock; lives for the whole process.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "game/menu_snapshot.h"
#include "game/tracked_thug.h"
#include "host/api/host.h"
#include "host/reflection.h"
#include "nav/hook_runtime.h"

namespace kvr::game {

// The navigation part (navmeshes, the path hook's figures) is the nav layer's own.
struct GameState : NavState {
  // Every engine object the mod holds a pointer to; the delete listener looks here first.
  std::unordered_set<const host::UObject*, PointerHash> watched;

  // One record per AI controller with a pawn, and the controllers by object-array index (the
  // path hook finds the thug behind a path query through it).
  ThugMap thugs;
  std::unordered_map<int32_t, host::UObject*> controllerByIndex;
  // The same records in controller index order. Passes that learn, draw random numbers or hand
  // out genomes walk this list, not the hash map: the map's order follows where the engine's
  // objects lie in memory, and a run must replay from its seed wherever that is.
  std::vector<TrackedThug*> thugOrder;

  PlayerCache player;
  // Camera functions, resolved on the camera manager whenever it changes.
  host::ParamLayout cameraLocationLayout;
  host::ParamLayout cameraRotationLayout;
  host::ParamLayout cameraFovLayout;

  // SetAvoidanceEnabled by movement component class (classes live as long as the process).
  std::unordered_map<const host::UClass*, host::ParamLayout> avoidanceLayouts;
  uint64_t avoidanceLayoutsHost = 0;  // host generation the layouts were read from

  // Style decisions made so far (network and rule); shown by the menu.
  uint64_t styleDecisions = 0;

  // Timers in SteadySeconds; all start at 0.
  double lastUpdate = 0.0;
  double lastDiscovery = 0.0;
  double lastRefresh = 0.0;
  double lastSnapshot = 0.0;
  double lastAutosave = 0.0;
  double frameRate = 0.0;  // updates per second, smoothed

  // The mod's own game-thread time per frame: the update and the path hook's reshaping, a
  // frame closing at each update that runs. Logged (VerboseLog) every kCostLogInterval.
  FrameCostMeter frameCost;
  TickScale frameCostTicks;
  double lastCostLog = 0.0;

  // Updates that ran (after the throttle); for tests and the stand-in host's report.
  uint64_t updatesRun = 0;

  // The snapshot being filled next, and the ones this game thread published last and before.
  std::shared_ptr<MenuSnapshot> spareSnapshot;
  const MenuSnapshot* publishedSnapshot = nullptr;
  const MenuSnapshot* previousSnapshot = nullptr;

  // Scratch space of the update, kept for its capacity so a steady frame does not allocate.
  std::vector<host::UObject*> found;
  std::vector<host::UObject*> controllers;
  std::vector<aps::Vec3> otherThugs;
  std::vector<TrackedThug*> inRange;
};

}  // namespace kvr::game
