#include "nav/hook_runtime.h"

namespace kvr::game {

namespace {

std::atomic<HookRuntime*> g_served{nullptr};

// Set while this thread runs the per-frame update (holding the state lock). The update calls
// ProcessEvent, and whatever the engine runs inside it may come back to the mod on this thread.
thread_local bool t_insideUpdate = false;

}  // namespace

void ServePathHook(HookRuntime* rt) {
  g_served.store(rt, std::memory_order_release);
}

HookRuntime* PathHookRuntime() {
  return g_served.load(std::memory_order_acquire);
}

bool InsideUpdate() {
  return t_insideUpdate;
}

void SetInsideUpdate(bool inside) {
  t_insideUpdate = inside;
}

}  // namespace kvr::game
