#include "mod/mod.h"

#include "game/mod_paths.h"
#include "mod/lifecycle.h"
#include "overlay/overlay_hooks.h"
#include "platform/module.h"
#include "platform/notice.h"
#include "platform/steady_clock.h"

namespace kvr::mod {

using host::IHost;
using host::UFunction;
using host::UObject;

namespace {

// Any address inside this module.
void ModuleAnchor() {}

constexpr HostVTable kHostVTable = MakeHostVTable<KorvathPalimarNeuralNav>();

std::wstring ThisModulePath() {
  return platform::ModulePathOf(reinterpret_cast<const void*>(&ModuleAnchor));
}

}  // namespace

KorvathPalimarNeuralNav::KorvathPalimarNeuralNav(host::FindModHostFn findModHost)
    : CppUserModBase(kHostVTable), runtime_(ModRuntime::Begin()) {
  SetModInfo(
      u"KorvathPalimarNeuralNav", u"1.0.1",
      u"Adaptive Pathfinding System arcs + evolving neural-network tactics for Palimar Thugs",
      u"Dunmere (Halvenor)");
  std::string whyNot;
  IHost* host = LocateHost(findModHost, &whyNot);
  if (!host) {
    platform::DebugNotice(
        "[KorvathNeuralNav] " +
        (whyNot.empty() ? std::string("no mod host in this process (neither UE4SS.dll nor the "
                                      "simulator's host interface): the mod stays inactive")
                        : whyNot));
    return;
  }
  hosted_ = true;
  SetLogDevices(host->OutputDevices());
  if (IHost::ClockFn clock = host->SteadyClock()) platform::SetSteadyClockSource(clock);
  ModRuntime* rt = &runtime_;
  host->RegisterProcessEventPreCallback([rt](UObject* object, UFunction* function, void* params) {
    TickEntry(*rt, object, function, params);
  });
}

KorvathPalimarNeuralNav::~KorvathPalimarNeuralNav() {
  // The overlay hooks come out first, then the mod steps aside.
  overlay::RemoveOverlayHooks();
  Shutdown(runtime_);
}

void KorvathPalimarNeuralNav::on_unreal_init() {
  if (!hosted_) return;  // nothing to start without a host: no files, no listener
  StartUp(runtime_, game::ModDirectoryFromModulePath(ThisModulePath()));
  overlay::InstallOverlayHooks(&runtime_.tickGate.gameThreadId);
}

}  // namespace kvr::mod
