// The engine's object-deletion listener: drops every pointer the mod holds to an object the
// engine deletes, and saves the brain when the engine tears its object array down at exit.
#pragma once
#include "host/api/host.h"

namespace kvr::host {
struct ModRuntime;
}

namespace kvr::game {

class DeleteListener final : public host::IDeleteListener {
 public:
  void NotifyUObjectDeleted(const host::UObject* object, int32_t index) override;
  void OnUObjectArrayShutdown() override;
};

// The one listener of the process.
DeleteListener& TheDeleteListener();

// What the listener does for one deleted object; the caller holds the state lock. Exposed so
// other parts that forget objects behave the same way.
void ForgetObject(host::ModRuntime& rt, const host::UObject* object);

}  // namespace kvr::game
