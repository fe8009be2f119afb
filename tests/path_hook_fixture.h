// The path hook as the game drives it: thugs of the simulated engine plan through the hooked
// navmesh slots on the game thread, on the arena's navmesh, through an engine FindPath that can
// be told to hand out paths the mod must not trust.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "aps/reshape_outcome.h"
#include "game_fixture.h"
#include "nav/navmesh_table.h"
#include "nav_fixture.h"
#include "sim/nav/detour_nav.h"
#include "sim/path_finding.h"

namespace kvr::test {

using aps::ReshapeOutcome;
using aps::Route;
using aps::Vec3;

// The bytes of a path record: the NavPath object and its whole point array, spare capacity
// included.
struct PathBytes {
  std::vector<unsigned char> path;
  std::vector<unsigned char> points;
};
inline PathBytes BytesOf(const sim::NavPath& path) {
  PathBytes r;
  const auto* object = reinterpret_cast<const unsigned char*>(&path);
  r.path.assign(object, object + sizeof path);
  const auto* points = reinterpret_cast<const unsigned char*>(path.points);
  const int32_t capacity = path.capacity > 0 ? path.capacity : 0;
  r.points.assign(points, points + static_cast<size_t>(capacity) * sizeof(aps::NavPoint));
  return r;
}
// Armed by a test: the next FindPath keeps the bytes of the record it hands out.
inline bool g_capture = false;
inline PathBytes g_afterEngine;

// The engine's FindPath as the navmesh's slots hold it before the mod hooks them (so the hook
// saves and calls it as the engine's own), able to hand out paths the mod must not trust.
enum class Twist { kNone, kStartOff400, kCorruptPoints, kOnePoint, kCapacityBelowCount };
inline std::atomic<Twist> g_twist{Twist::kNone};
inline aps::NavPoint* g_realPoints = nullptr;  // of the path handed out corrupt

inline sim::PathResult* TwistingFindPath(sim::PathResult* result, const sim::AgentProperties* agent,
                                         const sim::PathQuery* query) {
  sim::EngineFindPath(result, agent, query);
  sim::NavPath* path = result->path;
  if (result->result != sim::kPathSuccess || !path) return result;
  switch (g_twist.load()) {
    case Twist::kStartOff400:
      path->points[0].location.x += 400.0f;
      break;
    case Twist::kCorruptPoints:
      // An address no page is ever mapped at: whoever reads the points faults.
      g_realPoints = path->points;
      path->points = reinterpret_cast<aps::NavPoint*>(static_cast<uintptr_t>(64));
      break;
    case Twist::kOnePoint:
      path->count = 1;
      break;
    case Twist::kCapacityBelowCount:
      path->capacity = path->count - 1;
      break;
    case Twist::kNone:
      break;
  }
  if (g_capture) g_afterEngine = BytesOf(*path);
  g_capture = false;
  return result;
}

// Long open trips across the arena (20 to 45 m).
inline const aps::Vec3 kFrom[] = {
    {-2000, -1000, 0}, {-2600, 2600, 0}, {2600, -2600, 0}, {500, 2700, 0}};
inline const aps::Vec3 kTo[] = {{2000, 500, 0}, {600, 1000, 0}, {-400, 400, 0}, {300, -1200, 0}};

class PathHookFixture : public GameFixture {
 protected:
  struct Plan {
    sim::ThugObjects thug;
    Vec3 from, to;
    Route route;  // what the engine's path following got
    bool ok = false;
  };

  PathHookFixture() : level_(test::Arena().mesh), reference_(test::Arena().mesh) {
    g_twist = Twist::kNone;
    world_.SetNavigation(&level_);
    void* slots[sim::kNavSlotCount];
    sim::EngineNavSlots(slots);
    slots[0] = slots[1] = reinterpret_cast<void*>(&TwistingFindPath);
    navmesh_ = sim::SpawnNavMesh(world_, classes_, L"RecastNavMesh-Default", slots, {50, 50, 250});
    world_.AddFrameHook([this](sim::World& w, double) {
      for (Plan& p : pending_) Run(w, p);
    });
  }
  ~PathHookFixture() override {
    sim::ReleaseHeldPath(held_);
    g_twist = Twist::kNone;
    g_capture = false;
  }

  // The thug's path following re-plans the path it holds, on the game thread.
  bool RePlan(const sim::ThugObjects& t, const Vec3& from, const Vec3& to) {
    bool ok = false, ran = false;
    const int hook = world_.AddFrameHook([&](sim::World& w, double) {
      if (ran) return;
      ran = true;
      ok = sim::RunRePlanQuery(w, navmesh_, sim::MakePathQuery(w, t.controller, navmesh_, from, to),
                               held_, heldRoute_);
    });
    Tick(1);
    world_.RemoveFrameHook(hook);
    return ok;
  }
  // The held path's record is byte for byte what the engine's FindPath handed out.
  void ExpectHeldAsTheEngineLeftIt() {
    ASSERT_NE(held_.path, nullptr);
    ASSERT_FALSE(g_afterEngine.path.empty()) << "nothing captured";
    const PathBytes now = BytesOf(*held_.path);
    EXPECT_TRUE(now.path == g_afterEngine.path)
        << "point array, count, capacity or partial flag changed";
    EXPECT_TRUE(now.points == g_afterEngine.points) << "points or capacity changed";
  }

  // Emptier-side rule decisions (no exploration): with no other thug around a trip over 15 m
  // is flanked wide, a shorter one with a plain arc.
  static Settings Rules() {
    Settings s;
    s.NeuralTactics = 0;
    return s;
  }
  void StartWith(const Settings& s) {
    Start(s);
    Discover();
  }
  sim::ThugObjects AddThug(const std::wstring& name, const Vec3& at = {}) {
    sim::ThugObjects t = Thug(name, at);
    Discover();
    return t;
  }

  void Run(sim::World& w, Plan& p, host::UObject* navData = nullptr) {
    const sim::PathQuery query =
        sim::MakePathQuery(w, p.thug.controller, navData ? navData : navmesh_, p.from, p.to);
    p.ok = sim::RunPathQuery(w, navmesh_, query, p.route);
  }
  // The plans run on the game thread within one frame, in order.
  std::vector<Plan> InOneFrame(std::vector<Plan> plans) {
    pending_ = std::move(plans);
    Tick(1);
    std::vector<Plan> done = std::move(pending_);
    pending_.clear();
    return done;
  }
  Plan Once(const sim::ThugObjects& t, const Vec3& from, const Vec3& to) {
    return InOneFrame({{t, from, to}}).front();
  }
  // Three live paths pass the self-test; the third is already reshaped.
  void PassSelfTest(const sim::ThugObjects& t) {
    for (int i = 0; i < 3; ++i) Once(t, kFrom[i], kTo[i]);
    ASSERT_TRUE(rt_->game.pathHook.reshapingEnabled);
  }

  uint64_t Outcome(ReshapeOutcome o) { return rt_->game.pathHook.outcomes[static_cast<size_t>(o)]; }
  Route EngineRoute(const Vec3& from, const Vec3& to) {
    Route r;
    EXPECT_TRUE(reference_.FindPath(from, to, r));
    return r;
  }
  static bool SameRoute(const Route& a, const Route& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (std::memcmp(&a[i], &b[i], sizeof(aps::NavPoint)) != 0) return false;
    return true;
  }
  static bool SameRoute(const Route& a, const std::vector<Vec3>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (a[i].location.x != b[i].x || a[i].location.y != b[i].y) return false;
    return true;
  }
  void ExpectEngineMemoryClean() {
    EXPECT_EQ(world_.LiveAllocations(), 0) << "an engine block was leaked";
    EXPECT_EQ(world_.BadFrees(), 0) << "a block was freed twice or never allocated";
  }

  sim::DetourNav level_;
  sim::DetourNav reference_;  // the same mesh, for the routes the engine alone would give
  host::UObject* navmesh_ = nullptr;
  std::vector<Plan> pending_;
  sim::HeldPath held_;  // the path a thug follows across re-plans (RePlan)
  Route heldRoute_;
};

}  // namespace kvr::test
