#include "game/update.h"

#include <cstdio>

#include "game/avoidance.h"
#include "game/episodes.h"
#include "game/game_runtime.h"
#include "game/menu_publisher.h"
#include "game/thug_tracking.h"
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

// Thugs whose genome index fell off the end of a smaller population get a new genome.
void ReassignLostGenomes(GameRuntime& rt) {
  const auto size = static_cast<int32_t>(rt.brain.genomes.size());
  for (TrackedThug* t : rt.game.thugOrder) {
    if (t->genomeIndex >= size) t->genomeIndex = rt.brain.AssignGenome();
  }
}

// The master switch went off: engine paths, no learning, the avoidance values from before.
void StepAside(GameRuntime& rt) {
  RestoreNavHooks(rt.game.navmeshes);
  for (TrackedThug* t : rt.game.thugOrder) {
    EndEpisode(rt, *t, "disabled");
    SetAvoidance(rt, *t, false);
  }
  Log("master switch OFF: navmesh path functions restored, local avoidance restored");
}

void AdoptSettings(GameRuntime& rt) {
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
  rt.brain.Configure(tactics::MakeBrainConfig(shared), platform::SeedCounter());
  ReassignLostGenomes(rt);
  if (wasEnabled && !shared.Enabled) StepAside(rt);
}

void SaveSettingsRequest(GameRuntime& rt) {
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

void ReloadSettingsRequest(GameRuntime& rt) {
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

// Running episodes are dropped without being judged: the genomes that would learn them are gone.
void ResetBrainRequest(GameRuntime& rt) {
  for (auto& [controller, t] : rt.game.thugs) {
    t.episodeActive = false;
    t.genomeIndex = -1;
  }
  rt.brain.Reset(platform::SeedCounter());
  for (TrackedThug* t : rt.game.thugOrder) t->genomeIndex = rt.brain.AssignGenome();
  rt.brainStatus = "reset to a fresh population";
  Log("brain reset to a fresh population");
}

void ServeRequests(GameRuntime& rt) {
  ModState& state = ModState::Get();
  if (state.requestSaveSettings.exchange(0)) SaveSettingsRequest(rt);
  if (state.requestReloadSettings.exchange(0)) ReloadSettingsRequest(rt);
  if (state.requestSaveBrain.exchange(0)) SaveBrainWithStatus(rt, "menu");
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

// New navmeshes get a record and are watched. A navmesh never tried, or hooked before and
// restored since, goes to the installer; one the installer refused is not tried again.
void DiscoverNavMeshes(GameRuntime& rt) {
  host::IHost* h = host::Host();
  if (!h) return;
  GameState& g = rt.game;
  h->FindAllOf(L"RecastNavMesh", g.found);
  for (host::UObject* object : g.found) {
    if (!object ||
        (h->GetObjectFlags(object) & (host::kObjectFlagClassDefault | host::kObjectFlagArchetype)))
      continue;
    auto it = g.navmeshes.find(object);
    if (it == g.navmeshes.end()) {
      it = g.navmeshes.emplace(object, NavMeshRecord{}).first;
      it->second.navmesh = object;
      it->second.id = h->GetInternalIndex(object);
      Watch(g, object);
    }
    NavMeshRecord& record = it->second;
    if (!record.hooked && (record.status.empty() || record.savedFindPath))
      InstallNavHooks(rt, record);
  }
}

void Discover(GameRuntime& rt) {
  FindNavigationSystem(rt.game);
  if (rt.gameSettings.Enabled) DiscoverNavMeshes(rt);
  DiscoverThugsAndPlayer(rt);
}

void Autosave(GameRuntime& rt, double now) {
  if (!rt.gameSettings.SaveBrain || rt.brain.totalEpisodes == 0) return;
  if (now - rt.game.lastAutosave < rt.gameSettings.AutosaveSeconds) return;
  rt.game.lastAutosave = now;
  SaveBrainWithStatus(rt, "autosave");
}

// The run's figures so far, for a reader of the log (a match reads the last one).
void LogRunCost(GameRuntime& rt, double now) {
  GameState& g = rt.game;
  if (!rt.gameSettings.VerboseLog || now - g.lastCostLog < kCostLogInterval) return;
  g.lastCostLog = now;
  const FrameCostFigures run = g.frameCost.Lifetime(g.frameCostTicks.NanosecondsPerTick());
  char line[200];
  std::snprintf(line, sizeof line,
                "cost per frame since start: game thread %.2f us avg, %.1f us p99, %.1f us max "
                "over %llu frames",
                run.meanUs, run.p99Us, run.maxUs, static_cast<unsigned long long>(run.frames));
  Log(line);
}

}  // namespace

bool UpdateDue(const GameState& g, double now) {
  return now - g.lastUpdate >= kUpdateInterval;
}

void Update(GameRuntime& rt) {
  GameState& g = rt.game;
  const double now = platform::SteadySeconds();
  if (!Throttle(g, now)) return;
  // The frame that ends here is filed; this update's own time opens the next one.
  g.frameCost.EndFrame(now);
  const CostSpan cost(g.frameCost);
  ++g.updatesRun;
  AdoptSettings(rt);
  ServeRequests(rt);
  if (now - g.lastDiscovery >= kDiscoveryInterval) {
    g.lastDiscovery = now;
    Discover(rt);
  }
  if (rt.gameSettings.Enabled && now - g.lastRefresh >= kRefreshInterval) {
    g.lastRefresh = now;
    RefreshState(rt, now);
  }
  Autosave(rt, now);
  const double snapshotInterval =
      rt.gameSettings.ShowPathOverlay ? kOverlaySnapshotInterval : kSnapshotInterval;
  if (now - g.lastSnapshot >= snapshotInterval) {
    g.lastSnapshot = now;
    PublishMenuSnapshot(rt, now);
  }
  LogRunCost(rt, now);
}

}  // namespace kvr::game
