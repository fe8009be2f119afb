#include "game/thug_tracking.h"

#include <algorithm>

#include "game/avoidance.h"
#include "game/episodes.h"
#include "game/game_runtime.h"
#include "game/thug_state.h"
#include "host/reflection.h"
#include "platform/text.h"
#include "tactics/observation.h"

namespace kvr::game {

namespace {

constexpr const wchar_t* kThugControllerClasses[] = {
    L"BP_BaseAIController_C", L"BP_ArmedAIController_C", L"BP_BossThugAIController_C"};

// Class default objects and archetypes are templates, not actors in the level.
bool IsLiveObject(host::IHost& h, const host::UObject* object) {
  return object && (h.GetObjectFlags(object) &
                    (host::kObjectFlagClassDefault | host::kObjectFlagArchetype)) == 0;
}

// The controllers of the three thug classes; one found by two searches is listed once.
void FindControllers(host::IHost& h, GameState& g) {
  g.controllers.clear();
  for (const wchar_t* cls : kThugControllerClasses) {
    h.FindAllOf(cls, g.found);
    for (host::UObject* object : g.found) {
      if (IsLiveObject(h, object)) g.controllers.push_back(object);
    }
  }
  std::sort(g.controllers.begin(), g.controllers.end());
  g.controllers.erase(std::unique(g.controllers.begin(), g.controllers.end()), g.controllers.end());
  // New thugs are created in this order and take genomes in it: the engine's order, not the
  // order of addresses.
  std::stable_sort(g.controllers.begin(), g.controllers.end(),
                   [&h](const host::UObject* a, const host::UObject* b) {
                     return h.GetInternalIndex(a) < h.GetInternalIndex(b);
                   });
}

void RemoveGoneThugs(GameRuntime& rt) {
  GameState& g = rt.game;
  // g.controllers is in index order now; the pointer-sorted copy answers "still there?".
  g.found.assign(g.controllers.begin(), g.controllers.end());
  std::sort(g.found.begin(), g.found.end());
  for (size_t i = g.thugOrder.size(); i-- > 0;) {  // RemoveThug takes the entry out
    const host::UObject* controller = g.thugOrder[i]->controller;
    if (!std::binary_search(g.found.begin(), g.found.end(), controller))
      RemoveThug(rt, controller, "controller gone");
  }
}

TrackedThug& CreateThug(GameRuntime& rt, host::IHost& h, host::UObject* controller) {
  GameState& g = rt.game;
  TrackedThug& t = g.thugs[controller];
  t.controller = controller;
  t.controllerIndex = h.GetInternalIndex(controller);
  t.genomeIndex = rt.brain.AssignGenome();
  Watch(g, controller);
  g.controllerByIndex[t.controllerIndex] = controller;
  const auto at = std::upper_bound(
      g.thugOrder.begin(), g.thugOrder.end(), t.controllerIndex,
      [](int32_t index, const TrackedThug* other) { return index < other->controllerIndex; });
  g.thugOrder.insert(at, &t);
  return t;
}

// One controller of the discovery pass.
void TrackController(GameRuntime& rt, host::IHost& h, host::UObject* controller) {
  GameState& g = rt.game;
  const Settings& s = rt.gameSettings;
  host::UObject* pawn = nullptr;
  host::ReadPointerProperty(controller, L"Pawn", pawn);
  auto it = g.thugs.find(controller);
  if (it == g.thugs.end() && !pawn) return;
  TrackedThug& t = it != g.thugs.end() ? it->second : CreateThug(rt, h, controller);
  if (pawn != t.pawn) {
    EndEpisode(rt, t, "new pawn");
    t.pawn = pawn;
    t.movement = nullptr;
    t.avoidanceApplied = false;
    Watch(g, pawn);
  }
  if (!pawn) return;
  if (t.pawnClassName.empty())
    t.pawnClassName = platform::WideToUtf8(h.GetName(host::AsObject(h.GetClassPrivate(pawn))));
  bool boss = false;
  host::ReadBoolProperty(pawn, L"IsBoss", boss);
  t.isBoss = boss;
  t.excluded = boss && !s.AffectBosses;
  RefreshThug(t);
  if (t.alive && !t.excluded) {
    SetAvoidance(rt, t, s.LocalAvoidance && s.Enabled);
  } else if (t.avoidanceApplied) {
    SetAvoidance(rt, t, false);
  }
}

void DiscoverPlayer(host::IHost& h, GameState& g) {
  h.FindAllOf(L"ThugLyfePlayerCharacter_C", g.found);
  host::UObject* player = nullptr;
  for (host::UObject* object : g.found) {
    if (IsLiveObject(h, object)) {
      player = object;
      break;
    }
  }
  if (player == g.player.pawn) return;
  g.player.pawn = player;
  g.player.healthChunkBaseline = -1;
  g.player.cameraManager = nullptr;
  Watch(g, player);
}

// Lost health chunks are shared equally by the thugs with a running episode standing within
// PlayerHitRadius of the player (horizontally).
void CreditPlayerDamage(GameRuntime& rt, int32_t chunks) {
  GameState& g = rt.game;
  PlayerCache& p = g.player;
  if (p.healthChunkBaseline == -1 || p.healthChunkBaseline <= chunks) {
    p.healthChunkBaseline = chunks;
    return;
  }
  const int32_t lost = p.healthChunkBaseline - chunks;
  g.inRange.clear();
  for (auto& [controller, t] : g.thugs) {
    if (t.episodeActive && t.pawn &&
        tactics::HorizontalDistance(t.position, p.position) <= rt.gameSettings.PlayerHitRadius)
      g.inRange.push_back(&t);
  }
  if (!g.inRange.empty()) {
    const float share = static_cast<float>(lost) / static_cast<float>(g.inRange.size());
    for (TrackedThug* t : g.inRange) t->playerHitSum += share;
  }
  p.healthChunkBaseline = chunks;
}

// Horizontal distance to the nearest other thug with a pawn that is alive; 1e9 when none.
float NearestOther(const GameState& g, const TrackedThug& self) {
  float nearest = 1e9f;
  for (const auto& [controller, other] : g.thugs) {
    if (&other == &self || !other.pawn || !other.alive) continue;
    nearest = std::min(nearest, tactics::HorizontalDistance(self.position, other.position));
  }
  return nearest;
}

}  // namespace

void Watch(GameState& g, host::UObject* object) {
  if (object) g.watched.insert(object);
}

void RemoveThug(GameRuntime& rt, const host::UObject* controller, const char* reason) {
  GameState& g = rt.game;
  const auto it = g.thugs.find(controller);
  if (it == g.thugs.end()) return;
  TrackedThug& t = it->second;
  EndEpisode(rt, t, reason);
  rt.brain.ReleaseGenome(t.genomeIndex);
  const auto index = g.controllerByIndex.find(t.controllerIndex);
  if (index != g.controllerByIndex.end() && index->second == controller)
    g.controllerByIndex.erase(index);
  g.thugOrder.erase(std::find(g.thugOrder.begin(), g.thugOrder.end(), &t));
  g.thugs.erase(it);
}

void DiscoverThugsAndPlayer(GameRuntime& rt) {
  host::IHost* h = host::Host();
  if (!h) return;
  GameState& g = rt.game;
  FindControllers(*h, g);
  RemoveGoneThugs(rt);
  for (host::UObject* controller : g.controllers) TrackController(rt, *h, controller);
  DiscoverPlayer(*h, g);
}

void RefreshState(GameRuntime& rt, double now) {
  GameState& g = rt.game;
  const Settings& s = rt.gameSettings;
  if (const std::optional<int32_t> chunks = RefreshPlayer(g.player))
    CreditPlayerDamage(rt, *chunks);
  for (TrackedThug* thug : g.thugOrder) {
    TrackedThug& t = *thug;
    if (!t.pawn) continue;
    RefreshThug(t);
    if (!t.episodeActive) continue;
    ++t.spacingSamples;
    if (NearestOther(g, t) >= s.SpacingDistance) ++t.spacedSamples;
    if (t.alive && now - t.episodeStartTime >= s.EpisodeSeconds) EndEpisode(rt, t, "time");
    if (!t.alive) EndEpisode(rt, t, "died");
  }
}

}  // namespace kvr::game
