#include "game/delete_listener.h"

#include "host/lifecycle.h"
#include "host/mod_runtime.h"

namespace kvr::game {

DeleteListener& TheDeleteListener() {
  static DeleteListener listener;
  return listener;
}

void ForgetObject(host::ModRuntime& rt, const host::UObject* object) {
  GameState& g = rt.game;
  if (g.watched.erase(object) == 0) return;
  g.navmeshes.erase(object);
  if (g.playerPawn == object) g.playerPawn = nullptr;
  if (g.cameraManager == object) g.cameraManager = nullptr;
}

void DeleteListener::NotifyUObjectDeleted(const host::UObject* object, int32_t /*index*/) {
  host::ModRuntime& rt = host::ModRuntime::Get();
  std::lock_guard<std::mutex> lock(rt.stateLock);
  ForgetObject(rt, object);
}

void DeleteListener::OnUObjectArrayShutdown() {
  host::ModRuntime& rt = host::ModRuntime::Get();
  {
    std::lock_guard<std::mutex> lock(rt.stateLock);
    rt.gameExitSeen = true;
    rt.shuttingDown = true;
    host::SaveBrainWithStatus(rt, "game exit");
    rt.listenerRegistered = false;
  }
  // Outside the lock: the engine may call back into the listener list while removing.
  if (host::IHost* h = host::Host()) h->RemoveUObjectDeleteListener(this);
}

}  // namespace kvr::game
