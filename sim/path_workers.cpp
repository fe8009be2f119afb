#include "sim/path_workers.h"

#include <cstring>
#include <random>

#include "sim/path_finding.h"

namespace kvr::sim {

struct PathWorkers::Shared {
  World& world;
  UObject* navmesh;
  PathWorkerOptions options;

  std::mutex lock;
  std::condition_variable wake;
  double credit = 0;  // queries the frames handed out and nobody took yet
  bool stopping = false;
  std::vector<int32_t> owners;
  std::vector<int32_t> listed;  // game thread only

  std::atomic<uint64_t> queries{0};
  std::atomic<uint64_t> found{0};
  std::atomic<uint64_t> differing{0};

  Shared(World& w, UObject* n, const PathWorkerOptions& o) : world(w), navmesh(n), options(o) {}
};

namespace {

bool SameRoute(const aps::Route& a, const aps::Route& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(aps::NavPoint)) == 0);
}

}  // namespace

PathWorkers::PathWorkers(World& world, UObject* navmesh, const PathWorkerOptions& options)
    : shared_(std::make_unique<Shared>(world, navmesh, options)) {
  Shared* s = shared_.get();
  hook_ = world.AddFrameHook([s](World&, double) {
    if (s->options.listOwners) {
      s->listed.clear();
      s->options.listOwners(s->listed);
    }
    {
      std::lock_guard<std::mutex> hold(s->lock);
      if (s->options.listOwners) s->owners.swap(s->listed);
      if (s->stopping || s->owners.empty()) return;
      s->credit += s->options.queriesPerFrame;
      if (s->credit < 1.0) return;
    }
    s->wake.notify_all();
  });
  for (int i = 0; i < options.threads; ++i)
    threads_.emplace_back(
        [this, i] { Work(shared_->options.seed * 7919u + static_cast<uint32_t>(i)); });
}

PathWorkers::~PathWorkers() {
  Stop();
}

void PathWorkers::SetOwners(std::vector<int32_t> owners) {
  std::lock_guard<std::mutex> hold(shared_->lock);
  shared_->owners = std::move(owners);
}

void PathWorkers::Stop() {
  if (hook_) shared_->world.RemoveFrameHook(hook_);
  hook_ = 0;
  {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->stopping = true;
  }
  shared_->wake.notify_all();
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
}

PathWorkerCounts PathWorkers::Counts() const {
  return {shared_->queries.load(), shared_->found.load(), shared_->differing.load()};
}

void PathWorkers::Work(uint32_t seed) {
  Shared& s = *shared_;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> x(s.options.boundsMin.x, s.options.boundsMax.x);
  std::uniform_real_distribution<float> y(s.options.boundsMin.y, s.options.boundsMax.y);
  aps::Route route, expected;
  for (;;) {
    int32_t owner;
    {
      std::unique_lock<std::mutex> hold(s.lock);
      s.wake.wait(hold, [&s] { return s.stopping || s.credit >= 1.0; });
      if (s.stopping) return;
      s.credit -= 1.0;
      if (s.owners.empty()) continue;
      owner = s.owners[rng() % s.owners.size()];
    }
    aps::INav* nav = s.world.Navigation();
    LevelNavigation* level = s.world.LevelNav();
    aps::Vec3 from, to;
    const float z = s.options.boundsMin.z;
    if (!nav || !nav->ProjectPoint({x(rng), y(rng), z}, from) ||
        !nav->ProjectPoint({x(rng), y(rng), z}, to))
      continue;
    PathQuery query;
    query.ownerIndex = owner;
    query.start = from;
    query.end = to;
    query.navDataId = s.world.GetInternalIndex(s.navmesh);
    query.world = &s.world;
    bool partial = false, expectedPartial = false;
    const bool ok = RunPathQuery(s.world, s.navmesh, query, route, &partial);
    const bool expectedOk = level ? level->FindPathOrPartial(from, to, expected, expectedPartial)
                                  : nav->FindPath(from, to, expected);
    s.queries.fetch_add(1);
    if (ok) s.found.fetch_add(1);
    if (ok != expectedOk || (ok && (partial != expectedPartial || !SameRoute(route, expected))))
      s.differing.fetch_add(1);
  }
}

}  // namespace kvr::sim
