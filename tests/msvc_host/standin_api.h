// The stand-in mod host as the program playing the game sees it: its own entry points, and the
// hook-up that makes the simulated world call it where the real engine calls the real host
// (the ProcessEvent hook, the object array's delete listeners).
#pragma once
#include <string>

#include "engine.h"
#include "host/api/host.h"

namespace kvr::sim {
class World;
}

namespace kvr::msvc_host {

struct StandinApi {
  void* module = nullptr;
  void (*start)(const KvrEngine* engine, int throwing_calls, int gmalloc) = nullptr;
  KvrStandinSet setThrowing = nullptr;
  KvrStandinSet setGMalloc = nullptr;
  KvrStandinLoadMod loadMod = nullptr;
  KvrStandinCall update = nullptr;
  KvrStandinCall unrealInit = nullptr;
  KvrStandinCall otherEvents = nullptr;
  KvrStandinCall uninstall = nullptr;
  KvrStandinCall unload = nullptr;
  KvrStandinCall arrayShutdown = nullptr;
  KvrStandinProcessEvent processEventPre = nullptr;
  KvrStandinObjectDeleted objectDeleted = nullptr;
  KvrStandinReportFn report = nullptr;

  // Loads the stand-in DLL (path UTF-8); false with `error` set when it or an entry is missing.
  bool Load(const std::string& path, std::string& error);
  KvrStandinReport Report(bool readModInfo) const;
};

// Registers with the world one pre-callback and one delete listener that pass everything to
// the stand-in, as the engine's ProcessEvent and object array reach the real host.
class WorldHookup final : public host::IDeleteListener {
 public:
  WorldHookup(sim::World& world, const StandinApi& api);
  void NotifyUObjectDeleted(const host::UObject* object, int32_t index) override;
  void OnUObjectArrayShutdown() override;

 private:
  const StandinApi& api_;
};

}  // namespace kvr::msvc_host
