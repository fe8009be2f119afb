// ScoreCandidate: bend, backwards walking, side of the apex and the clearance ring.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "aps/arc_score.h"
#include "aps/horizontal.h"
#include "aps_flat_nav.h"

namespace kvr::aps {
namespace {

using test::FlatNav;
using test::RouteOf;

// A candidate between (0,0) and (2000,0) whose legs meet at apex, offset from base (1000, 0).
struct Fixture {
  Route leg1, leg2;
  ArcCandidate candidate;
  explicit Fixture(Vec3 apex, float sign = 1.0f)
      : leg1(RouteOf({{0, 0, 0}, apex})), leg2(RouteOf({apex, {2000, 0, 0}})) {
    candidate = {{0, 0, 0}, {2000, 0, 0}, {1000, 0, 0}, {0, -1, 0}, {1, 0, 0}, sign, leg1, leg2};
  }
  Fixture(const Fixture&) = delete;  // the candidate's spans point into this object
};

float Score(INav& nav, const ArcCandidate& c, const ArcParams& params, ArcStats* stats = nullptr) {
  ArcStats local;
  float score = -123.0f;
  EXPECT_TRUE(ScoreCandidate(nav, c, params, stats ? *stats : local, score));
  return score;
}

TEST(ScoreCandidate, BendTermRewardsAVisibleBend) {
  FlatNav nav;
  const ArcParams params;
  // Straight through the apex costs pi, a right angle pi / 2 (clearance 1 x weight 2).
  EXPECT_FLOAT_EQ(Score(nav, Fixture({1000, 0, 0}).candidate, params), 2.0f - kPi);
  EXPECT_FLOAT_EQ(Score(nav, Fixture({1000, -1000, 0}).candidate, params), 2.0f - kPi / 2);

  // Walking backwards out of a: in = unit(-200, -1000), out = unit(2200, 1000).
  const double inX = -200 / std::hypot(200.0, 1000.0), inY = -1000 / std::hypot(200.0, 1000.0);
  const double outX = 2200 / std::hypot(2200.0, 1000.0), outY = 1000 / std::hypot(2200.0, 1000.0);
  const double bend = inX * outX + inY * outY;
  const double expected = 2.0 - (std::numbers::pi - std::acos(bend)) - 3.0 * -inX;
  EXPECT_NEAR(Score(nav, Fixture({-200, -1000, 0}).candidate, params), expected, 1e-5);

  // Walking backwards into b: in = unit(2500, -1000), out = unit(-500, 1000).
  const double i2x = 2500 / std::hypot(2500.0, 1000.0), i2y = -1000 / std::hypot(2500.0, 1000.0);
  const double o2x = -500 / std::hypot(500.0, 1000.0), o2y = 1000 / std::hypot(500.0, 1000.0);
  const double overshoot = 2.0 - (std::numbers::pi - std::acos(i2x * o2x + i2y * o2y)) - 3.0 * -o2x;
  EXPECT_NEAR(Score(nav, Fixture({2500, -1000, 0}).candidate, params), overshoot, 1e-5);
}

TEST(ScoreCandidate, NeighboursOfTheApexFallBackToTheEndPoints) {
  FlatNav nav;
  const ArcParams params;
  Fixture full({1000, -1000, 0});
  const Route apexOnly = RouteOf({{1000, -1000, 0}});
  ArcCandidate shortLegs = full.candidate;
  shortLegs.leg1 = apexOnly;
  shortLegs.leg2 = apexOnly;
  EXPECT_FLOAT_EQ(Score(nav, shortLegs, params), Score(nav, full.candidate, params));

  // Leg points next to the apex decide the bend, not a and b.
  Fixture bent({1000, -1000, 0});
  bent.leg1 = RouteOf({{0, 0, 0}, {0, -1000, 0}, {1000, -1000, 0}});
  bent.leg2 = RouteOf({{1000, -1000, 0}, {2000, -1000, 0}, {2000, 0, 0}});
  bent.candidate.leg1 = bent.leg1;
  bent.candidate.leg2 = bent.leg2;
  EXPECT_FLOAT_EQ(Score(nav, bent.candidate, params), 2.0f - kPi);
}

TEST(ScoreCandidate, DoublingBackIsRejectedBeforeAnyProbe) {
  for (float bend : {-0.79f, -0.81f, -1.0f}) {
    FlatNav nav;
    Fixture f({1000, -500, 0});
    // out runs along +X from the apex; in makes the given dot with it.
    f.leg2 = RouteOf({{1000, -500, 0}, {1500, -500, 0}, {2000, 0, 0}});
    const float s = std::sqrt(1 - bend * bend);
    f.leg1 = RouteOf({{0, 0, 0}, {1000 - 100 * bend, -500 - 100 * s, 0}, {1000, -500, 0}});
    f.candidate.leg1 = f.leg1;
    f.candidate.leg2 = f.leg2;
    ArcStats stats;
    float score = 7.0f;
    const bool kept = ScoreCandidate(nav, f.candidate, ArcParams{}, stats, score);
    EXPECT_EQ(kept, bend > -0.8f) << bend;
    EXPECT_EQ(stats.projections, kept ? 8 : 0);
    EXPECT_EQ(nav.projectCalls, kept ? 8 : 0);
    if (!kept) {
      EXPECT_EQ(score, 7.0f);
    }
  }
  FlatNav nav;
  Fixture f({1000, -500, 0});
  f.candidate.leg2 = {};
  float score = 0;
  ArcStats stats;
  EXPECT_FALSE(ScoreCandidate(nav, f.candidate, ArcParams{}, stats, score));
}

TEST(ScoreCandidate, WrongSideCostsThePenaltyAndTheLineCountsAsLeft) {
  FlatNav nav;
  ArcParams params;
  params.wrongSidePenalty = 5.0f;
  const float left = Score(nav, Fixture({1000, -300, 0}, +1).candidate, params);
  const float rightAsked = Score(nav, Fixture({1000, -300, 0}, -1).candidate, params);
  EXPECT_FLOAT_EQ(left - rightAsked, 5.0f);
  const float onLineLeft = Score(nav, Fixture({1000, 0, 0}, +1).candidate, params);
  const float onLineRight = Score(nav, Fixture({1000, 0, 0}, -1).candidate, params);
  EXPECT_FLOAT_EQ(onLineLeft, 2.0f - kPi);
  EXPECT_FLOAT_EQ(onLineLeft - onLineRight, 5.0f);
  // Reached on the right when the left was asked.
  const float mirrored = Score(nav, Fixture({1000, 300, 0}, +1).candidate, params);
  EXPECT_FLOAT_EQ(left - mirrored, 5.0f);
}

TEST(ScoreCandidate, ClearanceRingRadiusAndProbeCount) {
  struct Case {
    float radius, scale;
    int probes;
    float ring;
    int calls;
  } cases[] = {{34, 1.5f, 8, 51, 8},    {20, 1.5f, 8, 40, 8}, {10, 1.0f, 4, 40, 4},
               {34, 1.5f, 1, 51, 1},    {34, 1.5f, 0, 51, 1}, {34, 1.5f, -3, 51, 1},
               {100, 2.0f, 16, 200, 16}};
  for (const Case& c : cases) {
    FlatNav nav;
    ArcParams params;
    params.agentRadius = c.radius;
    params.clearanceRadiusScale = c.scale;
    params.clearanceProbes = c.probes;
    ArcStats stats;
    const Vec3 apex{1000, -300, 20};
    EXPECT_FLOAT_EQ(ProbeClearance(nav, apex, params, stats), 1.0f);
    ASSERT_EQ(nav.projectCalls, c.calls);
    EXPECT_EQ(stats.projections, c.calls);
    // The first probe sits at angle 0; every probe on the ring at apex height.
    EXPECT_FLOAT_EQ(nav.projectQueries[0].x, apex.x + c.ring);
    EXPECT_FLOAT_EQ(nav.projectQueries[0].y, apex.y);
    for (const Vec3& q : nav.projectQueries) {
      EXPECT_NEAR(HorizontalDistance(apex, q), c.ring, 1e-3f);
      EXPECT_EQ(q.z, apex.z);
    }
    if (c.probes == 8) {  // a quarter turn per two probes, counter-clockwise in x, y
      EXPECT_NEAR(nav.projectQueries[2].x, apex.x, 1e-3f);
      EXPECT_NEAR(nav.projectQueries[2].y, apex.y + c.ring, 1e-3f);
    }
  }
}

TEST(ScoreCandidate, BlockedProbesLowerTheScoreByTheirShare) {
  FlatNav nav;
  const ArcParams params;  // 8 probes on a 51 cm ring, clearance weight 2
  const Fixture f({1000, -1000, 0});
  const ArcCandidate& c = f.candidate;
  const float open = Score(nav, c, params);
  nav.holes.push_back({1040, -1010, 1060, -990});  // swallows the probe at angle 0
  EXPECT_FLOAT_EQ(Score(nav, c, params), open - 2.0f / 8);
  nav.failProject = [](const Vec3&) { return true; };
  EXPECT_FLOAT_EQ(Score(nav, c, params), open - 2.0f);

  ArcParams single = params;
  single.clearanceProbes = 1;
  nav.failProject = nullptr;
  EXPECT_FLOAT_EQ(Score(nav, c, single), open - 2.0f);  // the one probe is blocked: clearance 0
}

}  // namespace
}  // namespace kvr::aps
