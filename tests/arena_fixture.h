// The living arena on the shipped default level, with the shipped rules or a calm variant for
// staged situations, and a listener that records the world's delete notices.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "nav_fixture.h"
#include "sim/arena/arena.h"

namespace kvr::test {

// Listens to the world for as long as it lives.
class DeleteLog final : public host::IDeleteListener {
 public:
  explicit DeleteLog(sim::World& world) : world_(world) { world_.AddUObjectDeleteListener(this); }
  ~DeleteLog() override { world_.RemoveUObjectDeleteListener(this); }
  void NotifyUObjectDeleted(const host::UObject* object, int32_t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    deleted_.push_back(object);
    classes_.push_back(sim::Header(object)->cls);  // the memory is still valid here
  }
  void OnUObjectArrayShutdown() override {}
  bool Has(const host::UObject* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(deleted_.begin(), deleted_.end(), object) != deleted_.end();
  }
  // Notices of objects of this class or a subclass (addresses may be reused, classes tell).
  size_t CountOfClass(const sim::Class* cls) {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(
        std::count_if(classes_.begin(), classes_.end(),
                      [cls](const sim::Class* c) { return c->IsChildOf(cls); }));
  }
  size_t CountOf(const std::vector<const host::UObject*>& objects) {
    size_t n = 0;
    for (const host::UObject* o : objects) n += Has(o) ? 1 : 0;
    return n;
  }

 private:
  sim::World& world_;
  std::mutex mutex_;
  std::vector<const host::UObject*> deleted_;
  std::vector<const sim::Class*> classes_;
};

inline sim::ArenaRules ShippedRules() {
  sim::ArenaRules rules;
  std::string error;
  EXPECT_TRUE(sim::LoadArenaRules(sim::LevelPath("arena.rules").c_str(), rules, error)) << error;
  return rules;
}

// Nothing happens on its own: no churn, the player stands where it is put and faces where it
// is turned and does not shoot, nobody holds a token. Tests switch on what they stage (a shot
// that is then fired always hits and never splashes).
inline sim::ArenaRules StillRules() {
  sim::ArenaRules r = ShippedRules();
  r.controllerChurnPerMinute = r.pawnSwapsPerMinute = 0;
  r.patrolSpeed = r.kiteSpeed = r.turnRate = 0;
  r.shotRange = 0;
  r.hitChance = 1;
  r.splashRadius = 0;
  r.tokenCount = 0;
  return r;
}

class ArenaTest : public ::testing::Test {
 protected:
  std::unique_ptr<sim::Arena> Start(const sim::ArenaRules& rules, int thugs, uint64_t seed = 1,
                                    const sim::Level* level = nullptr) {
    sim::ArenaSetup setup;
    setup.level = level ? level : &Arena().level;
    setup.mesh = &Arena().mesh;
    setup.rules = rules;
    setup.thugs = thugs;
    setup.seed = seed;
    std::string error;
    std::unique_ptr<sim::Arena> arena = sim::Arena::Create(world_, game_, setup, error);
    EXPECT_TRUE(arena) << error;
    return arena;
  }

  sim::World world_;
  sim::GameClasses game_ = sim::RegisterGameClasses(world_);
};

}  // namespace kvr::test
