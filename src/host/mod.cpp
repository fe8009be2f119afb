#include "host/mod.h"

#include "host/lifecycle.h"
#include "host/mod_paths.h"
#include "overlay/overlay_hooks.h"
#include "platform/module.h"
#include "platform/steady_clock.h"

namespace kvr::host {

namespace {

// Any address inside this module.
void ModuleAnchor() {}

std::wstring ThisModulePath() {
  return platform::ModulePathOf(reinterpret_cast<const void*>(&ModuleAnchor));
}

}  // namespace

KorvathPalimarNeuralNav::KorvathPalimarNeuralNav() : runtime_(ModRuntime::Begin()) {
  ModName = L"KorvathPalimarNeuralNav";
  ModVersion = L"1.0.1";
  ModDescription =
      L"Adaptive Pathfinding System arcs + evolving neural-network tactics for Palimar Thugs";
  ModAuthors = L"Dunmere (Halvenor)";
  if (IHost* host = LocateHost()) {
    SetLogDevices(host->OutputDevices());
    if (IHost::ClockFn clock = host->SteadyClock()) platform::SetSteadyClockSource(clock);
    ModRuntime* rt = &runtime_;
    host->RegisterProcessEventPreCallback([rt](UObject* object, UFunction* function, void* params) {
      TickEntry(*rt, object, function, params);
    });
  }
}

KorvathPalimarNeuralNav::~KorvathPalimarNeuralNav() {
  // The overlay hooks come out first, then the mod steps aside.
  overlay::RemoveOverlayHooks();
  Shutdown(runtime_);
}

void KorvathPalimarNeuralNav::on_unreal_init() {
  StartUp(runtime_, ModDirectoryFromModulePath(ThisModulePath()));
  overlay::InstallOverlayHooks();
}

}  // namespace kvr::host
