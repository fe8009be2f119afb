// What the path hook costs, with the mod running on the simulated engine over the arena's
// navmesh (started and ticked the way the game drives it, so the hook is in the slots, the
// navigation layouts are read and the thug is tracked).
//
//   BM_HookNonThugQuery   a query that is not a thug's through the hooked slot, against the
//                         engine's own FindPath on the same trips; rounds of both alternate.
//                         Counters: engine_us, hooked_us per query, extra_ns, extra_%.
//   BM_ReshapedThugQuery  a thug's query reshaped end to end (engine path, style decision,
//                         arc build on the engine's navigation, write-back) against
//                         BuildArcRoute alone on the same trip, with the style the hook chose and
//                         its parameters: once on the same engine navigation the hook builds on
//                         (EngineNav over the simulated engine), once on the level's Detour
//                         navigation directly. Counters per reshaped query: hooked_us,
//                         engine_build_us, detour_build_us, x_engine_build, x_detour_build;
//                         engine_memo_build_us and x_engine_memo_build for the build behind
//                         the build's memo, as the hook runs it; warm_build_us for a build
//                         timed right after the same build (not a case the game meets);
//                         reshaped_%, all_queries_us (every thug query, also those that kept
//                         the engine route).
// Each query is given a frame of its own (the per-frame budget is reset before it), and the
// sticky rule is off, so every query decides its style.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "aps/nav_memo.h"
#include "aps/reshape_outcome.h"
#include "game/path_reshape.h"
#include "mod/lifecycle.h"
#include "mod/mod.h"
#include "mod/mod_runtime.h"
#include "nav/engine_nav.h"
#include "platform/text.h"
#include "sim/game_objects.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/level.h"
#include "sim/path_finding.h"

namespace {

using kvr::aps::Route;
using kvr::aps::Vec3;

double CpuNs() {
  return static_cast<double>(std::clock()) * (1e9 / CLOCKS_PER_SEC);
}

struct Trip {
  Vec3 from, to;
};

// The mod on a simulated arena with one tracked thug and a controller that is no thug.
class HookedArena {
 public:
  HookedArena() {
    std::string error;
    ok_ = kvr::sim::LoadLevelFile(kvr::sim::LevelPath("arena"), level_, error) &&
          kvr::sim::BuildNavMesh(level_, {}, mesh_, error);
    if (!ok_) return;
    nav_ = std::make_unique<kvr::sim::DetourNav>(mesh_);
    classes_ = kvr::sim::RegisterGameClasses(world_);
    world_.SetNavigation(nav_.get());
    world_.SetPathPointSlack(0);  // every reshaped route grows its array: the dearer write-back
    navmesh_ = kvr::sim::SpawnEngineNavMesh(world_, classes_, L"RecastNavMesh-Default");
    world_.Spawn(*classes_.actor, L"Ticker", {.ticks = true});
    thug_ = kvr::sim::SpawnThug(world_, classes_, *classes_.baseAIController, *classes_.thug,
                                L"Thug", {});
    crowd_.push_back(thug_);
    for (int i = 1; i < kCrowd; ++i)
      crowd_.push_back(kvr::sim::SpawnThug(world_, classes_, *classes_.baseAIController,
                                           *classes_.thug, L"Thug" + std::to_wstring(i), {}));
    stranger_ = world_.Spawn(*classes_.aiController, L"Stranger");
    dir_ = std::filesystem::temp_directory_path() / "kvr-bench-path-hook";
    std::filesystem::create_directories(dir_);
    std::FILE* ini = std::fopen((dir_ / "config.ini").string().c_str(), "wb");
    if (ini) {
      std::fputs(
          "[Pathfinding]\nStickySeconds = 0\nMaxReshapesPerFrame = 16\nFrameBudgetMs = 25\n"
          "[NeuralNet]\nSaveBrain = 0\n",
          ini);
      std::fclose(ini);
    }
    kvr::host::SetHost(&world_);
    mod_ = std::make_unique<kvr::mod::KorvathPalimarNeuralNav>();
    rt_ = &kvr::mod::ModRuntime::Get();
    kvr::mod::StartUp(*rt_, dir_.wstring());
    for (int i = 0; i < 8; ++i) world_.Tick(0.1);  // discovery: navmesh hooked, thug tracked
    MakeTrips();
    for (int i = 0; i < 3; ++i) Query(thug_.controller, trips_[static_cast<size_t>(i)]);
    ok_ = rt_->game.pathHook.reshapingEnabled && rt_->game.thugs.size() == crowd_.size();
  }
  static constexpr int kCrowd = 32;
  ~HookedArena() {
    mod_.reset();
    kvr::host::SetHost(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  bool Ok() const { return ok_; }
  const std::vector<Trip>& Trips() const { return trips_; }
  kvr::mod::ModRuntime& Runtime() { return *rt_; }
  kvr::sim::DetourNav& Nav() { return *nav_; }
  kvr::host::UObject* Thug() const { return thug_.controller; }
  kvr::host::UObject* Stranger() const { return stranger_; }
  const std::vector<kvr::sim::ThugObjects>& Crowd() const { return crowd_; }

  // One frame in which every thug of the crowd plans: the per-frame budget is reset once, and
  // each thug asks through the hooked slot for its own trip, as a moved player makes them.
  void CrowdFrame(size_t firstTrip) {
    rt_->game.reshapesThisFrame = 0;
    rt_->game.builderMsThisFrame = 0.0;
    const auto find = reinterpret_cast<kvr::sim::FindPathFunction>(kvr::sim::NavSlot(navmesh_, 0));
    for (size_t i = 0; i < crowd_.size(); ++i)
      Call(find, crowd_[i].controller, trips_[(firstTrip + i) % trips_.size()]);
  }

  // BuildArcRoute on the engine's navigation as the hook makes it for this trip of the thug.
  bool BuildOnEngine(const Trip& t, const kvr::aps::Vec3& from, const kvr::aps::Vec3& to,
                     const kvr::aps::ArcParams& params, Route& out,
                     kvr::aps::NavMemoStore* memoStore = nullptr) {
    const kvr::sim::PathQuery q =
        kvr::sim::MakePathQuery(world_, thug_.controller, navmesh_, t.from, t.to);
    const kvr::game::EngineNavContext c = kvr::game::MakeEngineNavContext(
        rt_->game, rt_->game.navmeshes.at(navmesh_), &q, &agent_, thug_.pawn, thug_.controller);
    bool built = false;
    kvr::game::WithEngineNav(c, [&](kvr::aps::INav& nav) {
      kvr::aps::ArcStats stats;
      if (!memoStore) {
        built = kvr::aps::BuildArcRoute(nav, from, to, params, out, stats);
        return;
      }
      kvr::aps::NavMemo memo(nav, *memoStore);
      built = kvr::aps::BuildArcRoute(memo, from, to, params, out, stats);
    });
    return built;
  }

  // One query through the navmesh's slot (the hook), in a frame of its own; the path is then
  // released as the engine's path following would.
  int32_t Query(kvr::host::UObject* owner, const Trip& t) {
    rt_->game.reshapesThisFrame = 0;
    rt_->game.builderMsThisFrame = 0.0;
    return Call(reinterpret_cast<kvr::sim::FindPathFunction>(kvr::sim::NavSlot(navmesh_, 0)), owner,
                t);
  }
  // The same query on the engine's own FindPath.
  int32_t EngineQuery(kvr::host::UObject* owner, const Trip& t) {
    return Call(&kvr::sim::EngineFindPath, owner, t);
  }

 private:
  int32_t Call(kvr::sim::FindPathFunction find, kvr::host::UObject* owner, const Trip& t) {
    const kvr::sim::PathQuery q = kvr::sim::MakePathQuery(world_, owner, navmesh_, t.from, t.to);
    kvr::sim::PathResult result;
    find(&result, &agent_, &q);
    const int32_t count = result.path ? result.path->count : 0;
    kvr::sim::ReleasePathReference(result.controller);
    return count;
  }
  // Reachable trips of 10 to 45 m between random navmesh points, fixed seed.
  void MakeTrips() {
    std::mt19937 rng(20261208);
    std::uniform_real_distribution<float> x(level_.floorMinX, level_.floorMaxX);
    std::uniform_real_distribution<float> y(level_.floorMinY, level_.floorMaxY);
    Route route;
    for (int guard = 0; trips_.size() < 64 && guard < 100000; ++guard) {
      Vec3 a, b;
      if (!nav_->ProjectPoint({x(rng), y(rng), level_.floorZ}, a) ||
          !nav_->ProjectPoint({x(rng), y(rng), level_.floorZ}, b))
        continue;
      const float d = std::hypot(b.x - a.x, b.y - a.y);
      if (d < 1000.0f || d > 4500.0f || !nav_->FindPath(a, b, route)) continue;
      trips_.push_back({a, b});
    }
  }

  bool ok_ = false;
  kvr::sim::Level level_;
  kvr::sim::NavMesh mesh_;
  std::unique_ptr<kvr::sim::DetourNav> nav_;
  kvr::sim::World world_;
  kvr::sim::GameClasses classes_;
  kvr::host::UObject* navmesh_ = nullptr;
  kvr::sim::ThugObjects thug_;
  std::vector<kvr::sim::ThugObjects> crowd_;  // thug_ first
  kvr::host::UObject* stranger_ = nullptr;
  kvr::sim::AgentProperties agent_;
  std::vector<Trip> trips_;
  std::filesystem::path dir_;
  std::unique_ptr<kvr::mod::KorvathPalimarNeuralNav> mod_;
  kvr::mod::ModRuntime* rt_ = nullptr;
};

HookedArena& Arena() {
  static HookedArena arena;
  return arena;
}

void BM_HookNonThugQuery(benchmark::State& state) {
  HookedArena& a = Arena();
  if (!a.Ok()) return state.SkipWithError("the mod did not hook the arena");
  const std::vector<Trip>& trips = a.Trips();
  double engineNs = 0, hookedNs = 0, queries = 0;
  for (auto _ : state) {
    // Alternating whole rounds, so both see the same machine; the best of each counts.
    double engine = 1e300, hooked = 1e300;
    for (int round = 0; round < 5; ++round) {
      double t0 = CpuNs();
      for (const Trip& t : trips) benchmark::DoNotOptimize(a.EngineQuery(a.Stranger(), t));
      engine = std::min(engine, CpuNs() - t0);
      t0 = CpuNs();
      for (const Trip& t : trips) benchmark::DoNotOptimize(a.Query(a.Stranger(), t));
      hooked = std::min(hooked, CpuNs() - t0);
    }
    engineNs += engine;
    hookedNs += hooked;
    queries += static_cast<double>(trips.size());
  }
  state.counters["engine_us"] = engineNs / queries / 1000.0;
  state.counters["hooked_us"] = hookedNs / queries / 1000.0;
  state.counters["extra_ns"] = (hookedNs - engineNs) / queries;
  state.counters["extra_%"] = 100.0 * (hookedNs - engineNs) / engineNs;
}

// A reshaped trip of one round: the builder is run on it afterwards with the hook's style.
struct ReshapedTrip {
  size_t trip;
  Vec3 from, to;
  kvr::aps::ArcParams params;
};

// Each kind of work runs as a pass over the round's trips, so every timed build follows work
// on another trip, as the hook's build does. Timed right after the hook's build of the same
// trip instead, a build would find the trip's navmesh data in the caches and the branches
// trained on its exact sequence of queries, and would look cheaper than any build in the game
// (warm_build_us shows that case: a build timed right after the same build).
void BM_ReshapedThugQuery(benchmark::State& state) {
  HookedArena& a = Arena();
  if (!a.Ok()) return state.SkipWithError("the mod did not hook the arena");
  kvr::mod::ModRuntime& rt = a.Runtime();
  const kvr::game::PathHookState& h = rt.game.pathHook;
  const auto reshapedCount = [&h] {
    return h.outcomes[static_cast<size_t>(kvr::aps::ReshapeOutcome::kReshaped)];
  };
  const kvr::sim::AgentProperties agent;
  Route engine, out;
  kvr::aps::NavMemoStore memoStore;
  std::vector<ReshapedTrip> round;
  double hookedNs = 0, reshapedHookNs = 0, engineNs = 0, warmNs = 0, memoNs = 0, detourNs = 0,
         reshaped = 0, trips = 0;
  for (auto _ : state) {
    round.clear();
    for (size_t i = 0; i < a.Trips().size(); ++i) {
      const Trip& t = a.Trips()[i];
      const uint64_t before = reshapedCount();
      const double t0 = CpuNs();
      a.Query(a.Thug(), t);
      const double hooked = CpuNs() - t0;
      hookedNs += hooked;
      trips += 1;
      if (reshapedCount() == before) continue;  // kept the engine route: nothing to compare
      reshapedHookNs += hooked;
      // The builder alone gets the same trip with the same style and parameters.
      a.Nav().FindPath(t.from, t.to, engine);
      const int style = rt.game.thugs.at(a.Thug()).currentStyle;
      round.push_back({i, engine.front().location, engine.back().location,
                       kvr::game::MakeArcParams(rt.gameSettings, style, &agent)});
    }
    reshaped += static_cast<double>(round.size());
    for (const ReshapedTrip& r : round) {
      double t0 = CpuNs();
      a.BuildOnEngine(a.Trips()[r.trip], r.from, r.to, r.params, out);
      engineNs += CpuNs() - t0;
      t0 = CpuNs();
      a.BuildOnEngine(a.Trips()[r.trip], r.from, r.to, r.params, out);
      warmNs += CpuNs() - t0;
    }
    for (const ReshapedTrip& r : round) {
      const double t0 = CpuNs();
      a.BuildOnEngine(a.Trips()[r.trip], r.from, r.to, r.params, out, &memoStore);
      memoNs += CpuNs() - t0;
    }
    for (const ReshapedTrip& r : round) {
      kvr::aps::ArcStats stats;
      const double t0 = CpuNs();
      kvr::aps::BuildArcRoute(a.Nav(), r.from, r.to, r.params, out, stats);
      detourNs += CpuNs() - t0;
    }
  }
  const double per = std::max(reshaped, 1.0) * 1000.0;
  state.counters["hooked_us"] = reshapedHookNs / per;
  state.counters["engine_build_us"] = engineNs / per;
  state.counters["warm_build_us"] = warmNs / per;
  state.counters["detour_build_us"] = detourNs / per;
  state.counters["x_engine_build"] = engineNs > 0 ? reshapedHookNs / engineNs : 0;
  state.counters["engine_memo_build_us"] = memoNs / per;
  state.counters["x_engine_memo_build"] = memoNs > 0 ? reshapedHookNs / memoNs : 0;
  state.counters["x_detour_build"] = detourNs > 0 ? reshapedHookNs / detourNs : 0;
  state.counters["reshaped_%"] = trips > 0 ? 100.0 * reshaped / trips : 0;
  state.counters["all_queries_us"] = trips > 0 ? hookedNs / trips / 1000.0 : 0;
}

// The whole crowd re-plans in one frame under the default per-frame caps (the benchmark's
// config raises them for the single-query benchmarks; they are put back afterwards).
// Counters per frame: frame_us (processor time of the frame's 32 hooked queries), engine_us
// (the same 32 queries on the engine's own FindPath), mod_us (the difference: what the mod
// adds to the frame), reshaped and kept_budget (queries kept by the caps), builder_ms (the
// builder's time as the budget counted it: simulated engine time here) and the caps.
void BM_CrowdReplansInOneFrame(benchmark::State& state) {
  HookedArena& a = Arena();
  if (!a.Ok()) return state.SkipWithError("the mod did not hook the arena");
  kvr::mod::ModRuntime& rt = a.Runtime();
  const kvr::Settings saved = rt.gameSettings;
  const kvr::Settings defaults;
  rt.gameSettings.MaxReshapesPerFrame = defaults.MaxReshapesPerFrame;
  rt.gameSettings.FrameBudgetMs = defaults.FrameBudgetMs;
  const kvr::game::PathHookState& h = rt.game.pathHook;
  const auto outcome = [&h](kvr::aps::ReshapeOutcome o) {
    return static_cast<double>(h.outcomes[static_cast<size_t>(o)]);
  };
  const double reshaped0 = outcome(kvr::aps::ReshapeOutcome::kReshaped);
  const double budget0 = outcome(kvr::aps::ReshapeOutcome::kBudget);
  double frameNs = 0, engineNs = 0, builderMs = 0, largestFrameNs = 0, frames = 0;
  size_t first = 0;
  for (auto _ : state) {
    double t0 = CpuNs();
    a.CrowdFrame(first);
    const double frame = CpuNs() - t0;
    builderMs += rt.game.builderMsThisFrame;
    t0 = CpuNs();
    for (size_t i = 0; i < a.Crowd().size(); ++i)
      a.EngineQuery(a.Crowd()[i].controller, a.Trips()[(first + i) % a.Trips().size()]);
    engineNs += CpuNs() - t0;
    frameNs += frame;
    largestFrameNs = std::max(largestFrameNs, frame);
    frames += 1;
    first += a.Crowd().size();
  }
  rt.gameSettings = saved;
  const double n = std::max(frames, 1.0);
  state.counters["thugs"] = static_cast<double>(a.Crowd().size());
  state.counters["frame_us"] = frameNs / n / 1000.0;
  state.counters["largest_frame_us"] = largestFrameNs / 1000.0;
  state.counters["engine_us"] = engineNs / n / 1000.0;
  state.counters["mod_us"] = (frameNs - engineNs) / n / 1000.0;
  state.counters["reshaped"] = (outcome(kvr::aps::ReshapeOutcome::kReshaped) - reshaped0) / n;
  state.counters["kept_budget"] = (outcome(kvr::aps::ReshapeOutcome::kBudget) - budget0) / n;
  state.counters["builder_ms"] = builderMs / n;
  state.counters["cap_reshapes"] = defaults.MaxReshapesPerFrame;
  state.counters["cap_ms"] = defaults.FrameBudgetMs;
}

BENCHMARK(BM_HookNonThugQuery)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrowdReplansInOneFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReshapedThugQuery)->Unit(benchmark::kMillisecond);

}  // namespace
