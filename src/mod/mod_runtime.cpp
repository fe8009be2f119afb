#include "mod/mod_runtime.h"

#include <memory>
#include <mutex>
#include <vector>

#include "game/path_reshape.h"

namespace kvr::mod {

namespace {

struct Runtimes {
  std::mutex lock;
  std::vector<std::unique_ptr<ModRuntime>> all;  // the last one is current
};

Runtimes& AllRuntimes() {
  static Runtimes runtimes;
  return runtimes;
}

void Reshape(void* user, void* result, const void* agent, const void* query) {
  game::ReshapeFoundPath(*static_cast<ModRuntime*>(user), result, agent, query);
}

// Makes a fresh runtime the current one: the path hook serves it from now on. Caller holds the
// list's lock.
ModRuntime& StartNew(Runtimes& r) {
  r.all.push_back(std::make_unique<ModRuntime>());
  ModRuntime& rt = *r.all.back();
  game::ServePathHook(&rt);
  return rt;
}

}  // namespace

ModRuntime::ModRuntime() {
  reshaper = {&Reshape, this};
}

ModRuntime& ModRuntime::Get() {
  // The path hook's runtime is always the current one, and always a ModRuntime: only
  // StartNew points the hook anywhere. Read without a lock.
  if (game::HookRuntime* current = game::PathHookRuntime())
    return static_cast<ModRuntime&>(*current);
  Runtimes& r = AllRuntimes();
  std::lock_guard<std::mutex> lock(r.lock);
  if (r.all.empty()) return StartNew(r);
  return *r.all.back();
}

ModRuntime& ModRuntime::Begin() {
  Runtimes& r = AllRuntimes();
  std::lock_guard<std::mutex> lock(r.lock);
  if (r.all.empty()) return StartNew(r);
  ModRuntime& last = *r.all.back();
  if (!last.shuttingDown.load()) return last;
  std::lock_guard<std::mutex> state(last.stateLock);
  ModRuntime& next = StartNew(r);
  // Navmesh slots may still hold the hook (restoring leaves a slot another mod changed, which
  // may put the hook back later); it calls into the new runtime, which must then know the
  // engine's FindPath to answer and to put back.
  if (game::HookMayOutliveTable(last.game.navmeshes)) {
    next.game.acceptedFindPath.store(last.game.acceptedFindPath.load());
    next.game.exactBuild = last.game.exactBuild;
  }
  game::ReleaseRetired(last);
  return next;
}

}  // namespace kvr::mod
