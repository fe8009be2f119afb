// The engine's object-deletion listener: drops every pointer the mod holds to an object the
// engine deletes, and saves the brain when the engine tears its object array down at exit.
#pragma once
#include <atomic>

#include "host/api/host.h"

namespace kvr::game {

struct GameRuntime;

class DeleteListener final : public host::IDeleteListener {
 public:
  // The runtime the listener works on: set before it is registered, moved on to a runtime
  // made after the previous one shut down. Deleting threads read it without a lock.
  void Serve(GameRuntime& rt) { runtime_.store(&rt, std::memory_order_release); }

  void NotifyUObjectDeleted(const host::UObject* object, int32_t index) override;
  void OnUObjectArrayShutdown() override;

 private:
  std::atomic<GameRuntime*> runtime_{nullptr};
};

// The one listener of the process.
DeleteListener& TheDeleteListener();

// What the listener does for one deleted object; the caller holds the state lock. Exposed so
// other parts that forget objects behave the same way.
void ForgetObject(GameRuntime& rt, const host::UObject* object);

}  // namespace kvr::game
