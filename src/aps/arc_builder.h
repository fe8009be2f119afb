// Allocation-free building blocks of the arc builder. BuildArcRoute/BuildBestArc of aps.h run
// on a per-thread ArcScratch whose vectors keep their capacity between builds, so after the
// first few builds no heap allocation happens apart from growing the caller's output route.
// Callers that own their scratch (tests, benchmarks, several builders per thread) use the
// overloads below; only capacity survives a call, never a result.
#pragma once
#include "aps/aps.h"

namespace kvr::aps {

// Buffers for the legs of the candidate under test; they trade places with the best legs.
struct CandidateLegs {
  Route leg1;
  Route leg2;
};

struct ArcScratch {
  ArcChoice choice;
  CandidateLegs legs;
  Route piece;  // one weave hump, joined
};

bool BuildArcRoute(INav& nav, const Vec3& start, const Vec3& end, const ArcParams& params,
                   Route& out, ArcStats& stats, ArcScratch& scratch);

bool BuildBestArc(INav& nav, const Vec3& a, const Vec3& b, float strength, const ArcParams& params,
                  ArcChoice& choice, ArcStats& stats, CandidateLegs& spare);

// out = leg1 followed by leg2, leaving out leg2's first point when it lies within 1.0 of
// leg1's last point on each axis (the apex would be doubled otherwise).
void JoinLegs(const Route& leg1, const Route& leg2, Route& out);

}  // namespace kvr::aps
