// The mod running on the simulated engine with thugs and a player the tests place by hand:
// positions, health and flags are written straight into the spawned objects, the mod reads them
// through reflection as it would in the game.
#pragma once
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "game/tracked_thug.h"
#include "mod/mod_runtime.h"
#include "host/mod_state.h"
#include "mod_fixture.h"
#include "sim/game_objects.h"
#include "sim/object_model.h"

namespace kvr::test {

class GameFixture : public ModFixture {
 protected:
  // Starts the mod with these settings and lets the first updates run.
  mod::ModRuntime& Start(const Settings& settings = Settings{}) {
    mod::ModRuntime& rt = StartMod();
    Publish(settings);
    Tick(3);
    rt_ = &rt;
    return rt;
  }

  // Defaults, with the per-episode log lines on.
  static Settings Verbose() {
    Settings s;
    s.VerboseLog = true;
    return s;
  }

  void Publish(const Settings& s) {
    ModState& state = ModState::Get();
    std::lock_guard<std::mutex> lock(state.settingsLock);
    state.sharedSettings = s;
    ++state.settingsVersion;
  }

  sim::ThugObjects Thug(const std::wstring& name, const aps::Vec3& at,
                        sim::Class* controller = nullptr, sim::Class* pawn = nullptr) {
    return sim::SpawnThug(world_, classes_, controller ? *controller : *classes_.baseAIController,
                          pawn ? *pawn : *classes_.thug, name, at);
  }
  sim::PlayerObjects Player(const aps::Vec3& at) {
    return sim::SpawnPlayer(world_, classes_, L"Player", at);
  }

  // One discovery pass is due every 0.5 s; this runs at least one.
  void Discover() { Tick(6, 0.1); }

  game::TrackedThug& Record(const sim::ThugObjects& t) { return rt_->game.thugs.at(t.controller); }
  bool Tracked(const sim::ThugObjects& t) { return rt_->game.thugs.count(t.controller) == 1; }

  void Place(host::UObject* root, const aps::Vec3& at) {
    *world_.Field<aps::Vec3>(root, L"RelativeLocation") = at;
  }
  void SetHealth(const sim::ThugObjects& t, float health) {
    *world_.Field<float>(t.pawn, L"Health") = health;
  }
  void SetAlive(const sim::ThugObjects& t, bool alive) {
    world_.SetBool(t.pawn, L"bIsAlive", alive);
  }
  void SetChunks(const sim::PlayerObjects& p, int32_t chunks) {
    *world_.Field<int32_t>(p.pawn, L"CurrentHealthChunk") = chunks;
  }
  // The engine's searches skip archetypes: a controller marked as one is no longer found.
  void HideFromSearches(host::UObject* object) {
    sim::Header(object)->flags |= host::kObjectFlagArchetype;
  }

  // A running episode set up by hand, as a decision would leave it.
  void OpenEpisode(game::TrackedThug& t, int32_t style, int32_t genome, const aps::Vec3& goal,
                   float startDistance, float health, double start) {
    t.episodeActive = true;
    t.episodeStyle = style;
    t.episodeGenome = genome;
    t.episodeGoal = goal;
    t.startDistance = startDistance;
    t.healthAtStart = health;
    t.maxHealthAtStart = 100.0f;
    t.episodeStartTime = start;
    t.spacingSamples = 0;
    t.spacedSamples = 0;
    t.playerHitSum = 0.0f;
  }

  mod::ModRuntime* rt_ = nullptr;
};

}  // namespace kvr::test
