// Arc routes on Detour navmeshes: what one BuildArcRoute costs per style, against one plain
// path search (what the engine itself does per query), on the same fixed-seed trips.
//
//   BM_PlainFindPath/<level>        one DetourNav::FindPath per iteration
//   BM_BuildArcRoute/<style>/<level> one BuildArcRoute per iteration, from the engine route's
//                                    first to last point, as the path hook calls it
// Counters:
//   mean_us      processor time per call (whole timed loop / calls; preemption excluded)
//   p50_us p99_us wall time of single calls (a busy machine shows in the p99)
//   queries      navigation queries per build; ok_% builds that reshaped
//   x_plain      build mean / plain path mean over the same trips, both in processor time
//   nav_us       processor time inside the INav calls per build (the builds' recorded queries
//                replayed on their own); overhead_% the builder's own share of a build
//   allocs/build heap allocations per build after warm-up
//   BM_BuildArcRoute/<style>/<level>/memo: the same builds on the navigation behind the build's
//   memo, as the path hook runs them; engine_queries are the queries that reached the navmesh,
//   repeats_% the share of the builder's queries answered from the memo
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "aps/nav_memo.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/route_preview.h"

namespace {

using kvr::aps::Route;
using kvr::aps::Vec3;
using kvr::sim::DetourNav;

constexpr int kTripCount = 256;
constexpr uint32_t kTripSeed = 20261207;

struct Trip {
  Vec3 from, to;  // the engine route's end points
};

struct BenchLevel {
  kvr::sim::Level level;
  kvr::sim::NavMesh mesh;
  std::vector<Trip> trips;
};

double CpuNs() {
  return static_cast<double>(std::clock()) * (1e9 / CLOCKS_PER_SEC);
}

double NowNs() {
  return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count());
}

// Random reachable trips of 5 to 45 m between points on the navmesh.
std::vector<Trip> MakeTrips(const BenchLevel& l) {
  DetourNav nav(l.mesh);
  std::mt19937 rng(kTripSeed);
  std::uniform_real_distribution<float> x(l.level.floorMinX, l.level.floorMaxX);
  std::uniform_real_distribution<float> y(l.level.floorMinY, l.level.floorMaxY);
  std::vector<Trip> trips;
  Route route;
  for (int guard = 0; trips.size() < kTripCount && guard < 100000; ++guard) {
    Vec3 a, b;
    if (!nav.ProjectPoint({x(rng), y(rng), l.level.floorZ}, a) ||
        !nav.ProjectPoint({x(rng), y(rng), l.level.floorZ}, b))
      continue;
    const float d = std::hypot(b.x - a.x, b.y - a.y);
    if (d < 500.0f || d > 4500.0f || !nav.FindPath(a, b, route)) continue;
    trips.push_back({route.front().location, route.back().location});
  }
  return trips;
}

const BenchLevel* GetLevel(const std::string& name) {
  static std::map<std::string, BenchLevel> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return it->second.trips.empty() ? nullptr : &it->second;
  BenchLevel l;
  std::string error;
  if (kvr::sim::LoadLevelFile(kvr::sim::LevelPath(name), l.level, error) &&
      kvr::sim::BuildNavMesh(l.level, {}, l.mesh, error))
    l.trips = MakeTrips(l);
  it = cache.emplace(name, std::move(l)).first;
  return it->second.trips.empty() ? nullptr : &it->second;
}

struct Summary {
  double p50 = 0, p99 = 0;
};

Summary Summarise(std::vector<double>& ns) {
  Summary s;
  if (ns.empty()) return s;
  std::sort(ns.begin(), ns.end());
  s.p50 = ns[ns.size() / 2] / 1000.0;
  s.p99 = ns[std::min(ns.size() - 1, ns.size() * 99 / 100)] / 1000.0;
  return s;
}

void Report(benchmark::State& state, const Summary& s, double cpuNsPerCall) {
  state.counters["mean_us"] = cpuNsPerCall / 1000.0;
  state.counters["p50_us"] = s.p50;
  state.counters["p99_us"] = s.p99;
}

// Processor nanoseconds of one round of plain path searches, four over every trip.
double PlainPathCpuNs(DetourNav& nav, const std::vector<Trip>& trips) {
  Route route;
  const double t0 = CpuNs();
  for (int rep = 0; rep < 4; ++rep)
    for (const Trip& t : trips) benchmark::DoNotOptimize(nav.FindPath(t.from, t.to, route));
  return (CpuNs() - t0) / 4.0;
}

// Records the navigation queries of a build, to be replayed without the builder around them.
struct Query {
  int kind;  // 0 project, 1 path, 2 line
  Vec3 a, b;
};

class RecordingNav final : public kvr::aps::INav {
 public:
  RecordingNav(kvr::aps::INav& inner, std::vector<Query>& log) : inner_(inner), log_(log) {}
  bool ProjectPoint(const Vec3& p, Vec3& out) override {
    log_.push_back({0, p, {}});
    return inner_.ProjectPoint(p, out);
  }
  bool FindPath(const Vec3& a, const Vec3& b, Route& r) override {
    log_.push_back({1, a, b});
    return inner_.FindPath(a, b, r);
  }
  bool HasLineOfSight(const Vec3& a, const Vec3& b) override {
    log_.push_back({2, a, b});
    return inner_.HasLineOfSight(a, b);
  }

 private:
  kvr::aps::INav& inner_;
  std::vector<Query>& log_;
};

// The queries of every trip's build, in order, to be replayed without the builder.
std::vector<Query> RecordQueries(DetourNav& nav, const std::vector<Trip>& trips,
                                 const kvr::aps::ArcParams& params) {
  std::vector<Query> log;
  RecordingNav recorder(nav, log);
  Route out;
  for (const Trip& t : trips) {
    kvr::aps::ArcStats stats;
    kvr::aps::BuildArcRoute(recorder, t.from, t.to, params, out, stats);
  }
  return log;
}

// Processor nanoseconds of the recorded queries alone: the time a round of builds spends
// inside the INav calls.
double ReplayCpuNs(DetourNav& nav, const std::vector<Query>& log) {
  Route route;
  Vec3 p;
  const double t0 = CpuNs();
  for (const Query& q : log) {
    if (q.kind == 0) benchmark::DoNotOptimize(nav.ProjectPoint(q.a, p));
    if (q.kind == 1) benchmark::DoNotOptimize(nav.FindPath(q.a, q.b, route));
    if (q.kind == 2) benchmark::DoNotOptimize(nav.HasLineOfSight(q.a, q.b));
  }
  return CpuNs() - t0;
}

// Processor nanoseconds of one round of whole builds over every trip.
double BuildCpuNs(DetourNav& nav, const std::vector<Trip>& trips,
                  const kvr::aps::ArcParams& params) {
  Route out;
  const double t0 = CpuNs();
  for (const Trip& t : trips) {
    kvr::aps::ArcStats stats;
    benchmark::DoNotOptimize(kvr::aps::BuildArcRoute(nav, t.from, t.to, params, out, stats));
  }
  return CpuNs() - t0;
}

// Whole-round processor times, measured once per style and level (Google Benchmark calls a
// benchmark several times while it settles the iteration count). Build, replay and plain path
// rounds alternate so that all three see the same machine; the best round of each counts.
struct Extras {
  double plainNs = 0, buildNs = 0, navNs = 0;  // per call / per build
};

const Extras& ExtrasFor(DetourNav& nav, const BenchLevel& l, int style, const std::string& level,
                        const kvr::aps::ArcParams& params) {
  static std::map<std::string, Extras> cache;
  const std::string key = std::to_string(style) + "/" + level;
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const std::vector<Query> log = RecordQueries(nav, l.trips, params);
  double build = 1e300, inNav = 1e300, plain = 1e300;
  for (int round = 0; round < 7; ++round) {
    build = std::min(build, BuildCpuNs(nav, l.trips, params));
    inNav = std::min(inNav, ReplayCpuNs(nav, log));
    plain = std::min(plain, PlainPathCpuNs(nav, l.trips));
  }
  Extras x;
  const double trips = static_cast<double>(l.trips.size());
  x.plainNs = plain / trips;
  x.buildNs = build / trips;
  x.navNs = inNav / trips;
  return cache.emplace(key, x).first->second;
}

void BM_PlainFindPath(benchmark::State& state, const std::string& level) {
  const BenchLevel* l = GetLevel(level);
  if (!l) return state.SkipWithError("level did not build");
  DetourNav nav(l->mesh);
  Route route;
  std::vector<double> ns;
  ns.reserve(static_cast<size_t>(state.max_iterations));
  size_t i = 0;
  const double cpu0 = CpuNs();
  for (auto _ : state) {
    const Trip& t = l->trips[i++ % l->trips.size()];
    const double t0 = NowNs();
    benchmark::DoNotOptimize(nav.FindPath(t.from, t.to, route));
    ns.push_back(NowNs() - t0);
  }
  Report(state, Summarise(ns), (CpuNs() - cpu0) / static_cast<double>(std::max<size_t>(i, 1)));
}

// One build, behind a memo of its own when `store` is given (as the path hook builds).
bool Build(DetourNav& nav, kvr::aps::NavMemoStore* store, const Trip& t,
           const kvr::aps::ArcParams& params, Route& out, kvr::aps::ArcStats& stats, int& repeats) {
  if (!store) return kvr::aps::BuildArcRoute(nav, t.from, t.to, params, out, stats);
  kvr::aps::NavMemo memo(nav, *store);
  const bool ok = kvr::aps::BuildArcRoute(memo, t.from, t.to, params, out, stats);
  repeats = memo.Repeats().Total();
  return ok;
}

void BM_BuildArcRoute(benchmark::State& state, int style, const std::string& level, bool memo) {
  const BenchLevel* l = GetLevel(level);
  if (!l) return state.SkipWithError("level did not build");
  DetourNav nav(l->mesh);
  const kvr::aps::ArcParams params = kvr::sim::StyleArcParams(style);
  kvr::aps::NavMemoStore memoStore;
  kvr::aps::NavMemoStore* store = memo ? &memoStore : nullptr;
  Route out;
  // Warm-up: every trip once, so scratch buffers and the output route reach their size.
  int repeats = 0;
  for (const Trip& t : l->trips) {
    kvr::aps::ArcStats stats;
    Build(nav, store, t, params, out, stats, repeats);
  }
  std::vector<double> ns;
  ns.reserve(static_cast<size_t>(state.max_iterations));
  double queries = 0, answered = 0, reshaped = 0;
  size_t i = 0;
  const uint64_t allocsBefore = kvr::bench::HeapAllocations();
  const double cpu0 = CpuNs();
  for (auto _ : state) {
    const Trip& t = l->trips[i++ % l->trips.size()];
    kvr::aps::ArcStats stats;
    repeats = 0;
    const double t0 = NowNs();
    const bool ok = Build(nav, store, t, params, out, stats, repeats);
    ns.push_back(NowNs() - t0);
    queries += stats.Queries();
    answered += repeats;
    reshaped += ok;
  }
  const double builds = static_cast<double>(std::max<size_t>(i, 1));
  const double cpuPerBuild = (CpuNs() - cpu0) / builds;
  state.counters["allocs/build"] =
      static_cast<double>(kvr::bench::HeapAllocations() - allocsBefore) / builds;
  state.counters["queries"] = queries / builds;
  state.counters["ok_%"] = 100.0 * reshaped / builds;
  Report(state, Summarise(ns), cpuPerBuild);
  if (memo) {
    state.counters["engine_queries"] = (queries - answered) / builds;
    state.counters["repeats_%"] = queries > 0 ? 100.0 * answered / queries : 0;
    return;  // the round comparisons below are the plain builder's
  }
  if (style == 0) return;  // Direct never queries: nothing to compare
  const Extras& x = ExtrasFor(nav, *l, style, level, params);
  state.counters["plain_us"] = x.plainNs / 1000.0;
  state.counters["x_plain"] = x.plainNs > 0 ? x.buildNs / x.plainNs : 0;
  state.counters["nav_us"] = x.navNs / 1000.0;
  state.counters["overhead_%"] =
      x.buildNs > 0 ? 100.0 * std::max(0.0, x.buildNs - x.navNs) / x.buildNs : 0;
}

const bool kRegistered = [] {
  for (const char* level : {"arena", "large"}) {
    benchmark::RegisterBenchmark((std::string("BM_PlainFindPath/") + level).c_str(),
                                 BM_PlainFindPath, std::string(level))
        ->Unit(benchmark::kMicrosecond);
    for (int style = 0; style < kvr::aps::kStyleCount; ++style)
      for (bool memo : {false, true})
        benchmark::RegisterBenchmark(
            ("BM_BuildArcRoute/" + std::to_string(style) + "/" + level + (memo ? "/memo" : ""))
                .c_str(),
            BM_BuildArcRoute, style, std::string(level), memo)
            ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
