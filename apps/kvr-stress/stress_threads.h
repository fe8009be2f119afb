// The two threads the stress run adds to the game's own: one that destroys and creates thugs
// the way the engine does off the game thread, and a render thread doing what the overlay's
// Present hook does every frame. Each starts in its constructor and runs until Stop.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "host/mod_state.h"
#include "sim/game_classes.h"
#include "sim/game_objects.h"
#include "sim/world.h"
#include "stress.h"

namespace kvr::stress {

// Thugs of its own (controller, pawn, components), each destroyed after a while in one of the
// engine's orders; and controllers of the arena's thugs destroyed under the arena's feet, which
// the arena then replaces on the game thread. Stop leaves two thugs of its own alive (Survivors),
// for the check that the mod tracks what lives.
class ChurnThread {
 public:
  ChurnThread(sim::World& world, const sim::GameClasses& classes, uint64_t seed);
  ~ChurnThread();
  void Stop();
  const std::vector<host::UObject*>& Survivors() const { return survivors_; }
  void Take(StressReport& report) const;

 private:
  struct Own {
    sim::ThugObjects parts;
    uint64_t retireAtFrame = 0;
    int order = 0;  // how it goes, see Retire
  };
  void Run();
  bool Create();  // false when the world refused
  void Retire(Own& own);
  void DestroyArenaController();
  bool IsOwn(const host::UObject* object) const;

  sim::World& world_;
  const sim::GameClasses& classes_;
  uint64_t seed_;
  std::vector<Own> own_;  // churn thread only until Stop
  std::vector<host::UObject*> survivors_;
  uint32_t serial_ = 0;
  uint64_t created_ = 0, destroyed_ = 0, arenaControllers_ = 0;
  std::mutex unpossessLock_;
  std::vector<host::UObject*> unpossess_;  // controllers the game thread unpossesses next frame
  int hook_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Copies the shared state, draws the menu and the route overlay into a headless ImGui context
// with the overlay's own frame code, raises each of the menu's requests in turn and now and then
// flips the master switch through the settings path, as the menu's widgets do.
class RenderThread {
 public:
  explicit RenderThread(ModState& shared);
  ~RenderThread();
  // Joins the thread; the master switch is left on.
  void Stop();
  void Take(StressReport& report) const;

 private:
  void Run();

  ModState& shared_;
  uint64_t frames_ = 0, snapshots_ = 0, requests_ = 0, flips_ = 0, hookCalls_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kvr::stress
