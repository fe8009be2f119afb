#include "game/delete_listener.h"

#include "game/episodes.h"
#include "game/game_runtime.h"
#include "game/thug_tracking.h"
#include "host/log.h"

namespace kvr::game {

namespace {

// A failure inside a callback the engine makes must not unwind into the engine.
void LogCallbackFailure(const char* what) noexcept {
  try {
    Log(std::string("delete listener: ") + what);
  } catch (...) {
  }
}

}  // namespace

DeleteListener& TheDeleteListener() {
  static DeleteListener listener;
  return listener;
}

void ForgetObject(GameRuntime& rt, const host::UObject* object) {
  GameState& g = rt.game;
  if (g.watched.erase(object) == 0) return;
  if (g.thugs.count(object)) {
    RemoveThug(rt, object, "controller destroyed");
    return;
  }
  for (auto& [controller, t] : g.thugs) {
    if (t.pawn == object) {
      EndEpisode(rt, t, "pawn destroyed");
      t.pawn = nullptr;
      t.movement = nullptr;
      t.avoidanceApplied = false;
    } else if (t.movement == object) {
      t.movement = nullptr;
      t.avoidanceApplied = false;
    }
  }
  g.navmeshes.erase(object);
  if (g.player.pawn == object) g.player.pawn = nullptr;
  if (g.player.cameraManager == object) g.player.cameraManager = nullptr;
}

void DeleteListener::NotifyUObjectDeleted(const host::UObject* object, int32_t /*index*/) {
  try {
    GameRuntime* const served = runtime_.load(std::memory_order_acquire);
    if (!served) return;
    GameRuntime& rt = *served;
    std::lock_guard<std::mutex> lock(rt.stateLock);
    ForgetObject(rt, object);
  } catch (const std::exception& e) {
    LogCallbackFailure(e.what());
  } catch (...) {
    LogCallbackFailure("unknown failure");
  }
}

void DeleteListener::OnUObjectArrayShutdown() {
  try {
    GameRuntime* const served = runtime_.load(std::memory_order_acquire);
    if (!served) return;
    GameRuntime& rt = *served;
    {
      std::lock_guard<std::mutex> lock(rt.stateLock);
      rt.gameExitSeen = true;
      rt.shuttingDown = true;
      SaveBrainWithStatus(rt, "game exit");
      rt.listenerRegistered = false;
    }
    // Outside the lock: the engine may call back into the listener list while removing.
    if (host::IHost* h = host::Host()) h->RemoveUObjectDeleteListener(this);
  } catch (const std::exception& e) {
    LogCallbackFailure(e.what());
  } catch (...) {
    LogCallbackFailure("unknown failure");
  }
}

}  // namespace kvr::game
