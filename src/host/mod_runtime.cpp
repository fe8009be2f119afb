#include "host/mod_runtime.h"

#include <atomic>
#include <memory>
#include <vector>

namespace kvr::host {

namespace {

struct Runtimes {
  std::mutex lock;
  std::vector<std::unique_ptr<ModRuntime>> all;  // the last one is current
  std::atomic<ModRuntime*> current{nullptr};     // lock-free read for the path hook
};

Runtimes& AllRuntimes() {
  static Runtimes runtimes;
  return runtimes;
}

}  // namespace

ModRuntime& ModRuntime::Get() {
  Runtimes& r = AllRuntimes();
  if (ModRuntime* current = r.current.load(std::memory_order_acquire)) return *current;
  std::lock_guard<std::mutex> lock(r.lock);
  if (r.all.empty()) {
    r.all.push_back(std::make_unique<ModRuntime>());
    r.current.store(r.all.back().get(), std::memory_order_release);
  }
  return *r.all.back();
}

ModRuntime& ModRuntime::Begin() {
  Runtimes& r = AllRuntimes();
  std::lock_guard<std::mutex> lock(r.lock);
  if (r.all.empty() || r.all.back()->shuttingDown.load()) {
    auto next = std::make_unique<ModRuntime>();
    if (!r.all.empty()) {
      // Retired: keep the object for its stale callbacks, drop what is large.
      ModRuntime& old = *r.all.back();
      std::lock_guard<std::mutex> state(old.stateLock);
      old.brain = tactics::Brain{};
      // Navmesh slots may still hold the hook (restoring leaves a slot another mod changed,
      // which may put the hook back later); it calls into the new runtime, which must then
      // know the engine's FindPath to answer and to put back.
      if (game::HookMayOutliveTable(old.game.navmeshes)) {
        next->game.acceptedFindPath.store(old.game.acceptedFindPath.load());
        next->game.exactBuild = old.game.exactBuild;
      }
    }
    r.all.push_back(std::move(next));
    r.current.store(r.all.back().get(), std::memory_order_release);
  }
  return *r.all.back();
}

}  // namespace kvr::host
