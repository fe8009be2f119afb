// A game-thread path query that passed the hook's first look at the shutdown flags and then
// waited for the state lock while shutdown (or the engine's exit) held it: once it gets the
// lock, the mod has stepped aside, so it must decide, learn and write nothing.
//
// The query is known to be waiting on the state lock itself when the kernel reports the game
// thread asleep in a futex wait on the lock's address (Linux's per-thread syscall file), so the
// interleaving is forced, not hoped for.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "path_hook_fixture.h"

namespace kvr {
namespace {

using aps::ReshapeOutcome;
using test::kFrom;
using test::kTo;

// True while thread `tid` sleeps in a futex call on `word`.
bool WaitingOnFutex(pid_t tid, const void* word) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
  long number = -1;
  std::string first;
  if (!(in >> number >> first) || number != SYS_futex) return false;
  return std::strtoull(first.c_str(), nullptr, 16) == reinterpret_cast<uintptr_t>(word);
}

class PathHookShutdown : public test::PathHookFixture {
 protected:
  // Runs one query of `thug` on this (the game) thread while another thread holds the state
  // lock; that thread calls `stepAside` once the query waits for the lock, then lets it in.
  Plan QueryWhileLockHeld(const sim::ThugObjects& thug, void (*stepAside)(mod::ModRuntime&)) {
    const pid_t gameThread = static_cast<pid_t>(syscall(SYS_gettid));
    std::atomic<bool> held{false};
    mod::ModRuntime& rt = *rt_;
    std::thread shutdown([&] {
      std::lock_guard<std::mutex> lock(rt.stateLock);
      held = true;
      while (!WaitingOnFutex(gameThread, &rt.stateLock)) std::this_thread::yield();
      stepAside(rt);
    });
    while (!held) std::this_thread::yield();
    Plan p{thug, kFrom[1], kTo[1]};
    Run(world_, p);
    shutdown.join();
    return p;
  }

  void ExpectNothingDone(const sim::ThugObjects& thug, const Plan& p) {
    const game::TrackedThug& t = Record(thug);
    EXPECT_TRUE(p.ok);
    EXPECT_TRUE(SameRoute(p.route, EngineRoute(kFrom[1], kTo[1]))) << "the engine's path";
    EXPECT_EQ(rt_->game.pathHook.hookCalls, hookCalls_) << "reshaping ran after stepping aside";
    EXPECT_EQ(rt_->game.styleDecisions, decisions_);
    EXPECT_EQ(t.routeTime, routeTime_);
    EXPECT_EQ(t.lastGoal.x, lastGoal_.x);
    EXPECT_EQ(t.lastGoal.y, lastGoal_.y);
    EXPECT_EQ(rt_->brain.totalEpisodes, episodes_);
  }
  void Remember(const sim::ThugObjects& thug) {
    hookCalls_ = rt_->game.pathHook.hookCalls;
    decisions_ = rt_->game.styleDecisions;
    routeTime_ = Record(thug).routeTime;
    lastGoal_ = Record(thug).lastGoal;
    episodes_ = rt_->brain.totalEpisodes;
  }

  uint64_t hookCalls_ = 0, decisions_ = 0;
  double routeTime_ = 0;
  aps::Vec3 lastGoal_;
  uint64_t episodes_ = 0;
};

TEST_F(PathHookShutdown, AQueryThatWaitedThroughShutdownChangesNothing) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  Remember(thug);
  const Plan p = QueryWhileLockHeld(thug, [](mod::ModRuntime& rt) { rt.shuttingDown = true; });
  ExpectNothingDone(thug, p);
}

TEST_F(PathHookShutdown, AQueryThatWaitedThroughTheGamesExitChangesNothing) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  Remember(thug);
  const Plan p = QueryWhileLockHeld(thug, [](mod::ModRuntime& rt) { rt.gameExitSeen = true; });
  ExpectNothingDone(thug, p);
}

}  // namespace
}  // namespace kvr
