#include "game/update.h"

#include <cstdio>

#include "host/lifecycle.h"
#include "host/log.h"
#include "host/mod_state.h"
#include "platform/clock.h"
#include "platform/steady_clock.h"
#include "settings/config_ini.h"

namespace kvr::game {

namespace {

// False when the last update is less than 1/240 s ago; keeps the frame-rate estimate.
bool Throttle(GameState& g, double now) {
  if (!UpdateDue(g, now)) return false;
  const double elapsed = now - g.lastUpdate;
  g.lastUpdate = now;
  if (elapsed > 0.0 && elapsed < 1.0) g.frameRate = 0.9 * g.frameRate + 0.1 * (1.0 / elapsed);
  g.reshapesThisFrame = 0;
  g.builderMsThisFrame = 0.0;
  return true;
}

void AdoptSettings(host::ModRuntime& rt) {
  ModState& state = ModState::Get();
  Settings shared;
  uint64_t version;
  {
    std::lock_guard<std::mutex> lock(state.settingsLock);
    if (state.settingsVersion == rt.gameSettingsVersion) return;
    shared = state.sharedSettings;
    version = state.settingsVersion;
  }
  const bool wasEnabled = rt.gameSettings.Enabled;
  rt.gameSettings = shared;
  rt.gameSettingsVersion = version;
  rt.brain.Configure(tactics::MakeBrainConfig(shared), platform::TimeStampCounter());
  if (wasEnabled && !shared.Enabled) {
    RestoreNavHooks(rt.game.navmeshes);
    Log("master switch OFF: navmesh path functions restored, local avoidance restored");
  }
}

void SaveSettingsRequest(host::ModRuntime& rt) {
  ModState& state = ModState::Get();
  Settings copy;
  {
    std::lock_guard<std::mutex> lock(state.settingsLock);
    copy = state.sharedSettings;
  }
  rt.configStatus = WriteConfigIni(rt.paths.configPath, copy) ? "config.ini saved"
                                                              : "config.ini could NOT be written";
  Log(rt.configStatus);
}

void ReloadSettingsRequest(host::ModRuntime& rt) {
  Settings settings = rt.gameSettings;
  std::string status;
  ReadConfigIni(rt.paths.configPath, settings, status);
  ModState& state = ModState::Get();
  {
    std::lock_guard<std::mutex> lock(state.settingsLock);
    state.sharedSettings = settings;
    ++state.settingsVersion;
  }
  rt.configStatus = status;
  Log(status);
}

void ResetBrainRequest(host::ModRuntime& rt) {
  rt.brain.Reset(platform::TimeStampCounter());
  rt.brainStatus = "reset to a fresh population";
  Log("brain reset to a fresh population");
}

void ServeRequests(host::ModRuntime& rt) {
  ModState& state = ModState::Get();
  if (state.requestSaveSettings.exchange(0)) SaveSettingsRequest(rt);
  if (state.requestReloadSettings.exchange(0)) ReloadSettingsRequest(rt);
  if (state.requestSaveBrain.exchange(0)) host::SaveBrainWithStatus(rt, "menu");
  if (state.requestResetBrain.exchange(0)) ResetBrainRequest(rt);
  if (state.requestEvolveNow.exchange(0)) {
    Log(rt.brain.Evolve() ? "manual evolution: new generation created"
                          : "manual evolution skipped: fewer than 2 ranked genomes yet");
  }
}

// The navigation system's class default object and the layouts of its two query functions,
// looked up until found and then built once.
void FindNavigationSystem(GameState& g) {
  if (g.navigationSystem) return;
  host::IHost* h = host::Host();
  host::UObject* system =
      h ? h->FindObject(L"/Script/NavigationSystem.Default__NavigationSystemV1") : nullptr;
  if (!system) return;
  host::BuildParamLayout(g.projectLayout, system, L"K2_ProjectPointToNavigation",
                         {L"WorldContextObject", L"Point", L"ProjectedLocation", L"NavData",
                          L"FilterClass", L"QueryExtent", L"ReturnValue"});
  host::BuildParamLayout(g.raycastLayout, system, L"NavigationRaycast",
                         {L"WorldContextObject", L"RayStart", L"RayEnd", L"HitLocation",
                          L"FilterClass", L"Querier", L"ReturnValue"});
  g.navigationSystem = system;
  char line[200];
  std::snprintf(line, sizeof line,
                "navigation queries: K2_ProjectPointToNavigation %s (%d bytes), NavigationRaycast "
                "%s (%d bytes)",
                g.projectLayout.valid ? "OK" : "MISSING", static_cast<int>(g.projectLayout.size),
                g.raycastLayout.valid ? "OK" : "MISSING", static_cast<int>(g.raycastLayout.size));
  Log(line);
}

void Autosave(host::ModRuntime& rt, double now) {
  if (!rt.gameSettings.SaveBrain || rt.brain.totalEpisodes == 0) return;
  if (now - rt.game.lastAutosave < rt.gameSettings.AutosaveSeconds) return;
  rt.game.lastAutosave = now;
  host::SaveBrainWithStatus(rt, "autosave");
}

}  // namespace

bool UpdateDue(const GameState& g, double now) {
  return now - g.lastUpdate >= kUpdateInterval;
}

void Update(host::ModRuntime& rt) {
  GameState& g = rt.game;
  const double now = platform::SteadySeconds();
  if (!Throttle(g, now)) return;
  ++g.updatesRun;
  AdoptSettings(rt);
  ServeRequests(rt);
  if (now - g.lastDiscovery >= kDiscoveryInterval) {
    g.lastDiscovery = now;
    FindNavigationSystem(g);
  }
  Autosave(rt, now);
}

}  // namespace kvr::game
