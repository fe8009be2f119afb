#include "aps/arc_score.h"

#include <algorithm>
#include <cmath>

#include "aps/horizontal.h"

namespace kvr::aps {

float ProbeClearance(INav& nav, const Vec3& apex, const ArcParams& params, ArcStats& stats) {
  const float radius = std::max(40.0f, params.agentRadius * params.clearanceRadiusScale);
  const int probes = params.clearanceProbes < 2 ? 1 : params.clearanceProbes;
  int open = 0;
  for (int k = 0; k < probes; ++k) {
    const float angle = 2.0f * kPi * static_cast<float>(k) / static_cast<float>(probes);
    const Vec3 probe{apex.x + std::cos(angle) * radius, apex.y + std::sin(angle) * radius, apex.z};
    Vec3 projected;
    ++stats.projections;
    if (nav.ProjectPoint(probe, projected)) ++open;
  }
  return static_cast<float>(open) / static_cast<float>(probes);
}

bool ScoreCandidate(INav& nav, const ArcCandidate& c, const ArcParams& params, ArcStats& stats,
                    float& score) {
  if (c.leg1.empty() || c.leg2.empty()) return false;
  // The apex is where the path actually arrived, not the projected target.
  const Vec3 apex = c.leg1.back().location;
  const Vec3 prev = c.leg1.size() >= 2 ? c.leg1[c.leg1.size() - 2].location : c.a;
  const Vec3 next = c.leg2.size() >= 2 ? c.leg2[1].location : c.b;
  const Vec3 in = HorizontalUnit(Sub(apex, prev));
  const Vec3 out = HorizontalUnit(Sub(next, apex));
  const float bend = HorizontalDot(in, out);
  if (bend < -0.8f) return false;  // the route would double back at the apex

  const float back =
      std::max(0.0f, -HorizontalDot(in, c.dir)) + std::max(0.0f, -HorizontalDot(out, c.dir));

  const Vec3 fromBase = Sub(apex, c.base);
  const float s = fromBase.x * c.side.x + fromBase.y * c.side.y + fromBase.z * c.side.z;
  const float reachedSide = s >= 0.0f ? 1.0f : -1.0f;  // on the line counts as left
  const float wrongSide = reachedSide != c.sign ? params.wrongSidePenalty : 0.0f;

  const float clearance = ProbeClearance(nav, apex, params, stats);
  // A visible bend reads as a deliberate flank; a straight pass through the apex costs most.
  const float bendTerm = kPi - std::acos(std::clamp(bend, -1.0f, 1.0f));

  const float result = clearance * params.clearanceWeight - bendTerm * params.apexBendWeight -
                       back * params.backwardsWeight - wrongSide;
  // A broken navigation answer (NaN coordinates) must not become an unbeatable best.
  if (std::isnan(result)) return false;
  score = result;
  return true;
}

}  // namespace kvr::aps
