#include "sim/path_workers.h"

#include <cstring>
#include <random>

#include "sim/path_finding.h"

namespace kvr::sim {

// One query a frame handed out: its owner and the raw trip ends (projected by the worker).
struct Job {
  int32_t owner;
  aps::Vec3 from, to;
};

struct PathWorkers::Shared {
  World& world;
  UObject* navmesh;
  PathWorkerOptions options;

  std::mutex lock;
  std::condition_variable wake;  // a job is waiting, or stop
  std::condition_variable idle;  // a job was finished
  double credit = 0;             // queries handed out by the frames and not yet taken
  int busy = 0;                  // jobs being run
  bool stopping = false;
  std::vector<int32_t> owners;
  std::vector<int32_t> listed;  // game thread only
  // One random source for all workers, drawn under the lock: the jobs are the same whichever
  // worker takes them.
  std::mt19937 rng;

  std::atomic<uint64_t> queries{0};
  std::atomic<uint64_t> found{0};
  std::atomic<uint64_t> differing{0};

  Shared(World& w, UObject* n, const PathWorkerOptions& o)
      : world(w), navmesh(n), options(o), rng(o.seed) {}

  // Under the lock.
  Job Draw() {
    std::uniform_real_distribution<float> x(options.boundsMin.x, options.boundsMax.x);
    std::uniform_real_distribution<float> y(options.boundsMin.y, options.boundsMax.y);
    const float z = options.boundsMin.z;
    Job job;
    job.owner = owners[rng() % owners.size()];
    job.from = {x(rng), y(rng), z};
    job.to = {x(rng), y(rng), z};
    return job;
  }
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
  for (int i = 0; i < options.threads; ++i) threads_.emplace_back([this] { Work(); });
}

PathWorkers::~PathWorkers() {
  Stop();
}

void PathWorkers::SetOwners(std::vector<int32_t> owners) {
  std::lock_guard<std::mutex> hold(shared_->lock);
  shared_->owners = std::move(owners);
}

void PathWorkers::Stop() {
  Shared& s = *shared_;
  if (hook_) s.world.RemoveFrameHook(hook_);
  hook_ = 0;
  {
    // Every query the frames handed out is run first, so a match always makes the same ones.
    std::unique_lock<std::mutex> hold(s.lock);
    if (!threads_.empty())
      s.idle.wait(hold, [&s] { return (s.credit < 1.0 || s.owners.empty()) && s.busy == 0; });
    s.stopping = true;
  }
  s.wake.notify_all();
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
}

PathWorkerCounts PathWorkers::Counts() const {
  return {shared_->queries.load(), shared_->found.load(), shared_->differing.load()};
}

void PathWorkers::Work() {
  Shared& s = *shared_;
  aps::Route route, expected;
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> hold(s.lock);
      s.wake.wait(hold, [&s] { return s.stopping || (s.credit >= 1.0 && !s.owners.empty()); });
      if (s.stopping) return;
      s.credit -= 1.0;
      job = s.Draw();
      ++s.busy;
    }
    Run(job.owner, job.from, job.to, route, expected);
    {
      std::lock_guard<std::mutex> hold(s.lock);
      --s.busy;
    }
    s.idle.notify_all();
  }
}

void PathWorkers::Run(int32_t owner, const aps::Vec3& a, const aps::Vec3& b, aps::Route& route,
                      aps::Route& expected) {
  Shared& s = *shared_;
  aps::INav* nav = s.world.Navigation();
  LevelNavigation* level = s.world.LevelNav();
  aps::Vec3 from, to;
  if (!nav || !nav->ProjectPoint(a, from) || !nav->ProjectPoint(b, to)) return;
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

}  // namespace kvr::sim
