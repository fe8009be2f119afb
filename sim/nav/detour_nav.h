// DetourNav: the simulated engine's navigation queries on a Detour navmesh, behind the arc
// builder's INav. It answers the way the engine's own navigation does:
//   ProjectPoint   nearest polygon point inside the query-extent box around the point;
//   FindPath       polygon path search plus straight path (string-pulled corners);
//                  a partial path (goal unreachable, or the node pool ran out before the
//                  goal's polygon was reached) is a failure;
//   FindPathOrPartial  the same, but a partial path comes back marked as such (what the
//                  engine's FindPath answers);
//   ProjectPointInBox  ProjectPoint with a box the caller chooses;
//   HasLineOfSight navmesh raycast from the point's polygon; open when nothing is hit.
//
// Threads: every call takes the instance's lock, so one DetourNav may serve the game thread
// and other threads at once (they take turns). For queries truly in parallel give each thread
// its own DetourNav over the same NavMesh: the mesh is read-only, each instance owns its
// dtNavMeshQuery (node pool) and scratch buffers, and no call allocates after construction
// except to grow the caller's route.
#pragma once
#include <DetourNavMeshQuery.h>

#include <mutex>
#include <vector>

#include "aps/aps.h"
#include "sim/nav/level_navigation.h"
#include "sim/nav/navmesh_build.h"

namespace kvr::sim {

inline constexpr aps::Vec3 kDefaultQueryExtent = {50.0f, 50.0f, 250.0f};

class DetourNav final : public LevelNavigation {
 public:
  // maxNodes is Detour's search node pool (the engine default is 2048).
  explicit DetourNav(const NavMesh& mesh, const aps::Vec3& queryExtent = kDefaultQueryExtent,
                     int maxNodes = 2048);
  ~DetourNav() override;
  DetourNav(const DetourNav&) = delete;
  DetourNav& operator=(const DetourNav&) = delete;

  // False when the mesh was invalid or Detour could not set up the query; every query then
  // answers false.
  bool Valid() const { return query_ != nullptr; }
  const aps::Vec3& QueryExtent() const { return extent_; }

  bool ProjectPoint(const aps::Vec3& point, aps::Vec3& projected) override;
  bool FindPath(const aps::Vec3& from, const aps::Vec3& to, aps::Route& points) override;
  bool HasLineOfSight(const aps::Vec3& from, const aps::Vec3& to) override;
  bool ProjectPointInBox(const aps::Vec3& point, const aps::Vec3& extent,
                         aps::Vec3& projected) override;
  bool FindPathOrPartial(const aps::Vec3& from, const aps::Vec3& to, aps::Route& points,
                         bool& partial) override;

  // Walks from `from` towards `to` over the navmesh surface the way an agent moves: it slides
  // along the mesh's edges and never leaves it. `poly` is the agent's polygon, kept by the
  // caller between steps (0 = look it up near `from`); false when `from` is not on the mesh.
  bool MoveAlongSurface(dtPolyRef& poly, const aps::Vec3& from, const aps::Vec3& to,
                        aps::Vec3& reached);

  // Longest polygon corridor and straight path a FindPath can produce.
  static constexpr int kMaxPathPolys = 1024;

 private:
  bool Nearest(const float* point, const aps::Vec3& extent, dtPolyRef& ref, float* nearest) const;

  NavMesh mesh_;  // keeps the Detour mesh alive
  aps::Vec3 extent_;
  dtNavMeshQuery* query_ = nullptr;
  dtQueryFilter filter_;
  std::mutex lock_;
  std::vector<dtPolyRef> polys_;
  std::vector<float> straight_;
  std::vector<unsigned char> straightFlags_;
  std::vector<dtPolyRef> straightRefs_;
};

}  // namespace kvr::sim
