// Navmesh builds kept between runs: a level's navmesh is built once and loaded from a cache file
// afterwards, keyed by everything the build depends on (the level's floor and obstacles and the
// build settings), so a changed level or setting never reuses a stale mesh.
#pragma once
#include <string>

#include "sim/nav/navmesh_build.h"

namespace kvr::sim {

// "<system temp>/kvr-navmesh".
std::string DefaultNavMeshCacheDir();

// Loads the cached build when there is one (fromCache true), else builds and tries to store it
// (a cache that cannot be written only costs the next run a build). The cache folder itself is
// created when missing, never its parents. False with a reason when the level cannot be built
// or the folder cannot be had.
bool CachedNavMesh(const Level& level, const NavMeshConfig& config, const std::string& cacheDir,
                   NavMesh& out, bool& fromCache, std::string& error);

}  // namespace kvr::sim
