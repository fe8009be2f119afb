// What the engine's navigation offers beyond the arc builder's INav: projection within a box
// the caller chooses (the engine's QueryExtent) and path search that, like the engine's, gives
// a partial path when the goal cannot be reached. The world's navigation system and path
// functions use these when the level's navigation provides them; a plain INav stands in with
// its own extent and complete paths only.
#pragma once
#include "aps/aps.h"

namespace kvr::sim {

class LevelNavigation : public aps::INav {
 public:
  // The nearest navmesh point inside the box of half-size `extent` around the point.
  virtual bool ProjectPointInBox(const aps::Vec3& point, const aps::Vec3& extent,
                                 aps::Vec3& projected) = 0;
  // A path from `from` towards `to`. When the goal lies on the navmesh but cannot be reached
  // (another island, or the search ran out of nodes), the path ends at the reachable point
  // nearest to it and `partial` is set. False when either end is off the navmesh.
  virtual bool FindPathOrPartial(const aps::Vec3& from, const aps::Vec3& to, aps::Route& points,
                                 bool& partial) = 0;
};

}  // namespace kvr::sim
