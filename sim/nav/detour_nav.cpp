#include "sim/nav/detour_nav.h"

#include <DetourCommon.h>
#include <DetourNavMesh.h>

#include <algorithm>
#include <cmath>

namespace kvr::sim {
namespace {

bool Finite(const aps::Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

DetourNav::DetourNav(const NavMesh& mesh, const aps::Vec3& queryExtent, int maxNodes)
    : mesh_(mesh), extent_(queryExtent) {
  filter_.setIncludeFlags(kPolyFlagWalk);
  filter_.setExcludeFlags(0);
  if (!mesh_.Valid() || !Finite(extent_) || !(extent_.x > 0 && extent_.y > 0 && extent_.z > 0) ||
      maxNodes < 1 || maxNodes > 65535)
    return;
  query_ = dtAllocNavMeshQuery();
  if (query_ && dtStatusFailed(query_->init(mesh_.Detour(), maxNodes))) {
    dtFreeNavMeshQuery(query_);
    query_ = nullptr;
  }
  polys_.resize(kMaxPathPolys);
  straight_.resize(kMaxPathPolys * 3);
  straightFlags_.resize(kMaxPathPolys);
  straightRefs_.resize(kMaxPathPolys);
}

DetourNav::~DetourNav() {
  dtFreeNavMeshQuery(query_);
}

// Detour answers "success" with a null polygon when the box holds no polygon, and its nearest
// point can lie outside the box (the closest point of a polygon that only grazes the box, a
// different floor). Both count as "not on the navmesh", as they do for the engine.
bool DetourNav::Nearest(const float* point, const aps::Vec3& extent, dtPolyRef& ref,
                        float* nearest) const {
  float half[3];
  ToRecast(extent, half);
  ref = 0;
  if (dtStatusFailed(query_->findNearestPoly(point, half, &filter_, &ref, nearest)) || ref == 0)
    return false;
  for (int i = 0; i < 3; ++i)
    if (!(std::fabs(nearest[i] - point[i]) <= half[i])) return false;
  return true;
}

bool DetourNav::ProjectPoint(const aps::Vec3& point, aps::Vec3& projected) {
  return ProjectPointInBox(point, extent_, projected);
}

bool DetourNav::ProjectPointInBox(const aps::Vec3& point, const aps::Vec3& extent,
                                  aps::Vec3& projected) {
  if (!query_ || !Finite(point) || !Finite(extent) ||
      !(extent.x > 0 && extent.y > 0 && extent.z > 0))
    return false;
  std::lock_guard<std::mutex> hold(lock_);
  float p[3], nearest[3];
  ToRecast(point, p);
  dtPolyRef ref;
  if (!Nearest(p, extent, ref, nearest)) return false;
  projected = FromRecast(nearest);
  return true;
}

bool DetourNav::FindPath(const aps::Vec3& from, const aps::Vec3& to, aps::Route& points) {
  bool partial = false;
  return FindPathOrPartial(from, to, points, partial) && !partial;
}

bool DetourNav::FindPathOrPartial(const aps::Vec3& from, const aps::Vec3& to, aps::Route& points,
                                  bool& partial) {
  partial = false;
  if (!query_ || !Finite(from) || !Finite(to)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  float a[3], b[3], startPos[3], endPos[3];
  ToRecast(from, a);
  ToRecast(to, b);
  dtPolyRef startRef, endRef;
  if (!Nearest(a, extent_, startRef, startPos) || !Nearest(b, extent_, endRef, endPos))
    return false;
  int npolys = 0;
  const dtStatus found = query_->findPath(startRef, endRef, startPos, endPos, &filter_,
                                          polys_.data(), &npolys, kMaxPathPolys);
  if (dtStatusFailed(found) || npolys < 1) return false;
  // A corridor that does not end on the goal's polygon (another island, or the node pool ran
  // out) ends at the polygon nearest to the goal: walk to its point nearest to the goal.
  partial = (found & (DT_PARTIAL_RESULT | DT_BUFFER_TOO_SMALL)) || polys_[npolys - 1] != endRef;
  if (partial) {
    float reachable[3];
    if (dtStatusFailed(query_->closestPointOnPoly(polys_[npolys - 1], endPos, reachable, nullptr)))
      return false;
    dtVcopy(endPos, reachable);
  }
  int ncorners = 0;
  const dtStatus pulled = query_->findStraightPath(startPos, endPos, polys_.data(), npolys,
                                                   straight_.data(), straightFlags_.data(),
                                                   straightRefs_.data(), &ncorners, kMaxPathPolys);
  if (dtStatusFailed(pulled) || ncorners < 1) return false;
  partial = partial || (pulled & (DT_PARTIAL_RESULT | DT_BUFFER_TOO_SMALL));
  points.resize(static_cast<size_t>(ncorners));
  for (int i = 0; i < ncorners; ++i) {
    aps::NavPoint& pt = points[static_cast<size_t>(i)];
    pt = aps::NavPoint{};
    pt.location = FromRecast(&straight_[static_cast<size_t>(i) * 3]);
    pt.nodeRef = straightRefs_[static_cast<size_t>(i)];
    pt.flags = straightFlags_[static_cast<size_t>(i)];
  }
  return true;
}

bool DetourNav::HasLineOfSight(const aps::Vec3& from, const aps::Vec3& to) {
  if (!query_ || !Finite(from) || !Finite(to)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  float a[3], b[3], startPos[3];
  ToRecast(from, a);
  ToRecast(to, b);
  dtPolyRef startRef;
  if (!Nearest(a, extent_, startRef, startPos)) return false;
  float t = 0.0f, normal[3];
  int visited = 0;
  const dtStatus cast = query_->raycast(startRef, startPos, b, &filter_, &t, normal, polys_.data(),
                                        &visited, kMaxPathPolys);
  return dtStatusSucceed(cast) && t >= 1.0f;
}

}  // namespace kvr::sim

namespace kvr::sim {

bool DetourNav::MoveAlongSurface(dtPolyRef& poly, const aps::Vec3& from, const aps::Vec3& to,
                                 aps::Vec3& reached) {
  if (!query_ || !Finite(from) || !Finite(to)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  float a[3], b[3], start[3], result[3];
  ToRecast(from, a);
  ToRecast(to, b);
  std::copy(a, a + 3, start);
  if (poly == 0 || !query_->isValidPolyRef(poly, &filter_)) {
    if (!Nearest(a, extent_, poly, start)) return false;
  }
  int visited = 0;
  if (dtStatusFailed(query_->moveAlongSurface(poly, start, b, &filter_, result, polys_.data(),
                                              &visited, kMaxPathPolys)) ||
      visited < 1) {
    poly = 0;
    return false;
  }
  poly = polys_[static_cast<size_t>(visited) - 1];
  // The surface walk keeps the start height; the floor under the end point may differ.
  float height = result[1];
  if (dtStatusSucceed(query_->getPolyHeight(poly, result, &height))) result[1] = height;
  reached = FromRecast(result);
  return true;
}

}  // namespace kvr::sim
