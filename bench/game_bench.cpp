// The per-frame update on the simulated engine with a populated level: an update with nothing
// due, a state refresh with 16 and 64 thugs, a menu snapshot with 64 thugs, and the heap
// allocations of a steady stream of updates.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "alloc_counter.h"
#include "game/menu_publisher.h"
#include "game/update.h"
#include "mod/lifecycle.h"
#include "mod/mod.h"
#include "mod/mod_runtime.h"
#include "host/mod_state.h"
#include "platform/steady_clock.h"
#include "sim/game_classes.h"
#include "sim/game_objects.h"
#include "sim/sim_clock.h"

namespace {

using namespace kvr;

constexpr uint64_t kFrameNanoseconds = 4'166'667;  // 1/240 s: every update passes the throttle

// The mod as the game drives it, on a level with a player and `thugs` thugs in a loose crowd.
class Level {
 public:
  explicit Level(int thugs, bool overlay = false) : classes_(sim::RegisterGameClasses(world_)) {
    host::SetHost(&world_);
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("kvr-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    mod_ = std::make_unique<mod::KorvathPalimarNeuralNav>();
    rt_ = &mod::ModRuntime::Get();
    mod::StartUp(*rt_, dir_.wstring());
    Settings s;
    s.SaveBrain = false;
    s.ShowPathOverlay = overlay;
    Publish(s);
    sim::SpawnPlayer(world_, classes_, L"Player", {0, 0, 0});
    for (int i = 0; i < thugs; ++i) {
      const float x = static_cast<float>((i % 8) * 150), y = static_cast<float>((i / 8) * 150);
      sim::SpawnThug(world_, classes_, *classes_.baseAIController, *classes_.thug,
                     L"Thug" + std::to_wstring(i), {x + 200, y - 500, 0});
    }
    for (int frame = 0; frame < 12; ++frame) world_.Tick(0.1);  // found and refreshed
    OpenEpisodes();
  }
  ~Level() {
    mod_.reset();
    host::SetHost(nullptr);
    SetLogDevices(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  mod::ModRuntime& Runtime() { return *rt_; }
  size_t Thugs() const { return rt_->game.thugs.size(); }

  // Every thug in an approach, with a route for the overlay, as in a busy fight.
  void OpenEpisodes() {
    const double now = platform::SteadySeconds();
    for (auto& [controller, t] : rt_->game.thugs) {
      t.episodeActive = true;
      t.episodeStartTime = now;
      t.episodeGenome = t.genomeIndex;
      t.routePoints.assign(24, t.position);
      t.routeTime = now;
      t.routeStyle = 3;
    }
  }

 private:
  static void Publish(const Settings& s) {
    ModState& state = ModState::Get();
    std::lock_guard<std::mutex> lock(state.settingsLock);
    state.sharedSettings = s;
    ++state.settingsVersion;
  }

  sim::World world_;
  sim::GameClasses classes_;
  std::filesystem::path dir_;
  std::unique_ptr<mod::KorvathPalimarNeuralNav> mod_;
  mod::ModRuntime* rt_ = nullptr;
};

// One update 1/240 s after the last, through the fault guard as ReceiveTick runs it.
void Frame(mod::ModRuntime& rt) {
  sim::AdvanceSimulatedClock(kFrameNanoseconds);
  mod::RunFaultGuard(rt);
}

// Heap allocations since `since`, per `per`.
benchmark::Counter AllocationsPer(uint64_t since, uint64_t per) {
  return benchmark::Counter(static_cast<double>(bench::HeapAllocations() - since) /
                            static_cast<double>(std::max<uint64_t>(1, per)));
}

// Nothing due but the throttle, settings and requests: most updates of a frame look like this.
void BM_UpdateIdle(benchmark::State& state) {
  Level level(16);
  mod::ModRuntime& rt = level.Runtime();
  game::GameState& g = rt.game;
  g.lastDiscovery = g.lastRefresh = g.lastSnapshot = 1e18;  // never due
  const uint64_t updates = g.updatesRun;
  const uint64_t allocations = bench::HeapAllocations();
  for (auto _ : state) Frame(rt);
  state.counters["allocs/update"] = AllocationsPer(allocations, g.updatesRun - updates);
  if (g.updatesRun - updates != state.iterations()) state.SkipWithError("throttled");
}
BENCHMARK(BM_UpdateIdle);

// An update whose 0.1 s state refresh is due: player, damage credit, every thug's state,
// spacing samples among thugs that are all in an episode.
void BM_UpdateRefresh(benchmark::State& state) {
  Level level(static_cast<int>(state.range(0)));
  mod::ModRuntime& rt = level.Runtime();
  game::GameState& g = rt.game;
  g.lastDiscovery = g.lastSnapshot = 1e18;
  const uint64_t allocations = bench::HeapAllocations();
  for (auto _ : state) {
    g.lastUpdate = g.lastRefresh = -1e9;
    mod::RunFaultGuard(rt);
  }
  state.counters["thugs"] = static_cast<double>(level.Thugs());
  state.counters["allocs/update"] = AllocationsPer(allocations, state.iterations());
}
BENCHMARK(BM_UpdateRefresh)->Arg(16)->Arg(64);

// Building and publishing the menu snapshot; the second argument shows the route overlay.
void BM_Snapshot(benchmark::State& state) {
  Level level(static_cast<int>(state.range(0)), state.range(1) != 0);
  mod::ModRuntime& rt = level.Runtime();
  const double now = platform::SteadySeconds();
  const uint64_t allocations = bench::HeapAllocations();
  for (auto _ : state) game::PublishMenuSnapshot(rt, now);
  state.counters["thugs"] = static_cast<double>(level.Thugs());
  state.counters["allocs/snapshot"] = AllocationsPer(allocations, state.iterations());
}
BENCHMARK(BM_Snapshot)->Args({64, 0})->Args({64, 1});

// A stream of updates at 240 a second with every timer on its own schedule: discovery twice a
// second, refresh ten times, snapshots five times. The allocations per update of the mod and
// the simulated engine together, once warmed up.
void BM_UpdateSteadyState(benchmark::State& state) {
  Level level(static_cast<int>(state.range(0)));
  mod::ModRuntime& rt = level.Runtime();
  for (int i = 0; i < 2400; ++i) Frame(rt);  // ten simulated seconds to warm up
  level.OpenEpisodes();
  const uint64_t allocations = bench::HeapAllocations();
  for (auto _ : state) Frame(rt);
  state.counters["allocs/update"] = AllocationsPer(allocations, state.iterations());
}
BENCHMARK(BM_UpdateSteadyState)->Arg(16)->Arg(64);

}  // namespace
