// Engine threads that plan paths beside the game thread, as the engine's asynchronous path
// finding and environment queries do: through whatever a navmesh's FindPath slot holds at that
// moment (the mod's hook, once installed), for the objects the game names as owners.
//
// Each frame hands the workers a share of queries; they run them while the frame goes on. The
// trips come from one seeded source and Stop runs every query handed out, so a match makes the
// same queries whichever thread takes them.
// Every answer is checked against the level navigation's own, so a path that someone changed
// on the way (a hook reshaping a query it should have left alone) is counted as differing.
//
//   PathWorkers workers(world, navmesh, {.threads = 2, .queriesPerFrame = 4});
//   workers.SetOwners({index, ...});   // whenever the set changes
//   ... frames ...
//   workers.Stop();                    // outside a frame, before the world or the navmesh goes
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/world.h"

namespace kvr::sim {

struct PathWorkerOptions {
  int threads = 2;
  double queriesPerFrame = 4;  // shared by all workers; fractions add up over frames
  uint32_t seed = 1;
  // Trip ends are random navmesh points within this horizontal box.
  aps::Vec3 boundsMin{-3000.0f, -3000.0f, 0.0f};
  aps::Vec3 boundsMax{3000.0f, 3000.0f, 0.0f};
  // When set, called at the start of every frame (on the game thread) to list the owners
  // afresh, so they follow objects that come and go.
  std::function<void(std::vector<int32_t>& owners)> listOwners;
};

struct PathWorkerCounts {
  uint64_t queries = 0;    // path queries run through the slot
  uint64_t found = 0;      // of those, with a path
  uint64_t differing = 0;  // answers not exactly the level navigation's own
};

class PathWorkers {
 public:
  // Starts the threads and adds a frame hook to the world that grants each frame's queries.
  // The navmesh must live until Stop.
  PathWorkers(World& world, UObject* navmesh, const PathWorkerOptions& options);
  ~PathWorkers();
  PathWorkers(const PathWorkers&) = delete;
  PathWorkers& operator=(const PathWorkers&) = delete;

  // Object-array indices of the objects the queries are made for (controllers).
  void SetOwners(std::vector<int32_t> owners);
  // Stops granting and joins the threads; idempotent.
  void Stop();
  PathWorkerCounts Counts() const;

 private:
  struct Shared;
  void Work();
  // One query through the slot, checked against the level navigation's own answer.
  void Run(int32_t owner, const aps::Vec3& from, const aps::Vec3& to, aps::Route& route,
           aps::Route& expected);

  std::unique_ptr<Shared> shared_;
  std::vector<std::thread> threads_;
  int hook_ = 0;
};

}  // namespace kvr::sim
