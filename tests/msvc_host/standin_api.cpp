#include "standin_api.h"

#include "platform/library.h"
#include "sim/world.h"

namespace kvr::msvc_host {

namespace {

template <typename Fn>
bool Resolve(void* module, const char* name, Fn& fn, std::string& error) {
  fn = reinterpret_cast<Fn>(platform::ModuleSymbol(module, name));
  if (!fn && error.empty()) error = std::string("the stand-in host lacks ") + name;
  return fn != nullptr;
}

}  // namespace

bool StandinApi::Load(const std::string& path, std::string& error) {
  module = platform::LoadModule(path, error);
  if (!module) return false;
  bool ok = Resolve(module, "kvr_standin_start", start, error);
  ok &= Resolve(module, "kvr_standin_set_throwing", setThrowing, error);
  ok &= Resolve(module, "kvr_standin_set_gmalloc", setGMalloc, error);
  ok &= Resolve(module, "kvr_standin_load_mod", loadMod, error);
  ok &= Resolve(module, "kvr_standin_update", update, error);
  ok &= Resolve(module, "kvr_standin_unreal_init", unrealInit, error);
  ok &= Resolve(module, "kvr_standin_other_events", otherEvents, error);
  ok &= Resolve(module, "kvr_standin_uninstall", uninstall, error);
  ok &= Resolve(module, "kvr_standin_unload", unload, error);
  ok &= Resolve(module, "kvr_standin_object_array_shutdown", arrayShutdown, error);
  ok &= Resolve(module, "kvr_standin_process_event_pre", processEventPre, error);
  ok &= Resolve(module, "kvr_standin_object_deleted", objectDeleted, error);
  ok &= Resolve(module, "kvr_standin_report", report, error);
  return ok;
}

KvrStandinReport StandinApi::Report(bool readModInfo) const {
  KvrStandinReport r{};
  report(&r, readModInfo ? 1 : 0);
  return r;
}

WorldHookup::WorldHookup(sim::World& world, const StandinApi& api) : api_(api) {
  const StandinApi* a = &api_;
  world.RegisterProcessEventPreCallback(
      [a](host::UObject* object, host::UFunction* function, void* params) {
        a->processEventPre(object, function, params);
      });
  world.AddUObjectDeleteListener(this);
}

void WorldHookup::NotifyUObjectDeleted(const host::UObject* object, int32_t index) {
  api_.objectDeleted(object, index);
}

void WorldHookup::OnUObjectArrayShutdown() {
  api_.arrayShutdown();
}

}  // namespace kvr::msvc_host
