// The APS arc score of one apex candidate: clearance around the apex, a visible bend, no
// walking backwards, and the apex on the side the style asked for.
#pragma once
#include <span>

#include "aps/aps.h"

namespace kvr::aps {

// One candidate as BuildBestArc produced it. leg1 runs from a to the apex (its last point is
// the apex the path actually reached), leg2 from the apex to b; both must be non-empty.
struct ArcCandidate {
  Vec3 a;
  Vec3 b;
  Vec3 base;          // a + t x (b - a), the point the apex target was offset from
  Vec3 side;          // horizontal unit vector to the left of a-to-b (z = 0)
  Vec3 dir;           // horizontal unit vector from a to b (z = 0)
  float sign = 1.0f;  // +1 or -1: the side the strength asks for
  std::span<const NavPoint> leg1;
  std::span<const NavPoint> leg2;
};

// Scores the candidate (higher is better) into score. False rejects it: the route doubles
// back at the apex (bend below -0.8), a leg is empty, or the score is not a number. Uses
// agent radius, clearance radius scale, clearance probes and the four weights of params;
// every clearance probe counts a projection in stats.
bool ScoreCandidate(INav& nav, const ArcCandidate& candidate, const ArcParams& params,
                    ArcStats& stats, float& score);

// Fraction (0..1) of the probes on a ring around the apex that project onto the navmesh.
// Ring radius max(40, agent radius x scale); fewer than 2 probes means one probe at angle 0.
float ProbeClearance(INav& nav, const Vec3& apex, const ArcParams& params, ArcStats& stats);

}  // namespace kvr::aps
