// Single arcs: counting, candidate order and fallbacks, tie rule, joins and the no-query cases.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "aps/arc_builder.h"
#include "aps/horizontal.h"
#include "aps_flat_nav.h"

namespace kvr::aps {
namespace {

using test::FlatNav;
using test::ParamsFor;

void ExpectVec(const Vec3& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

bool Same(const Vec3& a, const Vec3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

TEST(ArcBuilder, DirectLikeStrengthsAndZeroTripsMakeNoQuery) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float strength;
    Vec3 start, end;
  } cases[] = {
      {0.0f, {0, 0, 0}, {2000, 0, 0}},
      {0.0009f, {0, 0, 0}, {2000, 0, 0}},
      {-0.0009f, {0, 0, 0}, {2000, 0, 0}},
      {0.6f, {10, 20, 30}, {10, 20, 30}},
      {0.6f, {10, 20, 30}, {10.00005f, 19.99995f, 30.00005f}},  // same within 0.0001 per axis
      {nan, {0, 0, 0}, {2000, 0, 0}},
      {0.6f, {nan, 0, 0}, {2000, 0, 0}},
      {0.6f, {0, 0, 0}, {2000, std::numeric_limits<float>::infinity(), 0}},
  };
  for (const Case& c : cases) {
    FlatNav nav;
    Route out = test::RouteOf({{1, 2, 3}, {4, 5, 6}});
    ArcStats stats;
    EXPECT_FALSE(BuildArcRoute(nav, c.start, c.end, ParamsFor(c.strength), out, stats));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(nav.projectCalls + nav.pathCalls + nav.sightCalls, 0);
    EXPECT_EQ(stats.Queries(), 0);
    EXPECT_EQ(stats.candidatesTried, 0);
  }
}

TEST(ArcBuilder, WorkedAmplitudeAndFallbackOrderWithProjectionFailingEverywhere) {
  FlatNav nav;
  nav.failProject = [](const Vec3&) { return true; };
  ArcChoice choice;
  ArcStats stats;
  EXPECT_FALSE(BuildBestArc(nav, {0, 0, 0}, {2000, 0, 0}, 0.6f, ParamsFor(0.6f), choice, stats));
  ASSERT_EQ(nav.projectQueries.size(), 27u);
  // Left of travel along +X is -Y; amplitude 0.6 x 2000 x 0.35 = 420.
  ExpectVec(nav.projectQueries[0], 800, -420, 0);
  ExpectVec(nav.projectQueries[1], 800, -252, 0);
  ExpectVec(nav.projectQueries[2], 800, -126, 0);
  ExpectVec(nav.projectQueries[3], 800, -294, 0);   // m = 0.7
  ExpectVec(nav.projectQueries[6], 800, -189, 0);   // m = 0.45
  ExpectVec(nav.projectQueries[9], 1000, -420, 0);  // t = 0.5 comes after all of t = 0.4
  ExpectVec(nav.projectQueries[18], 1200, -420, 0);
  EXPECT_EQ(stats.projections, 27);
  EXPECT_EQ(stats.pathSearches, 0);
  EXPECT_EQ(nav.pathCalls, 0);
  EXPECT_EQ(stats.candidatesTried, 9);
  EXPECT_EQ(stats.candidatesScored, 0);
  EXPECT_TRUE(choice.leg1.empty());
  EXPECT_FLOAT_EQ(choice.score, -1e9f);

  FlatNav again;
  again.failProject = [](const Vec3&) { return true; };
  Route out;
  ArcStats routeStats;
  EXPECT_FALSE(BuildArcRoute(again, {0, 0, 0}, {2000, 0, 0}, ParamsFor(0.6f), out, routeStats));
  EXPECT_EQ(again.projectCalls, 27);
  EXPECT_EQ(again.pathCalls, 0);
  EXPECT_EQ(routeStats.projections, 27);
}

TEST(ArcBuilder, SideSignsStrengthCapAndVerticalTrips) {
  auto firstTarget = [](Vec3 a, Vec3 b, float strength) {
    FlatNav nav;
    nav.failProject = [](const Vec3&) { return true; };
    ArcChoice choice;
    ArcStats stats;
    BuildBestArc(nav, a, b, strength, ParamsFor(strength), choice, stats);
    return nav.projectQueries.front();
  };
  ExpectVec(firstTarget({0, 0, 0}, {2000, 0, 0}, -0.6f), 800, 420, 0);   // right is +Y
  ExpectVec(firstTarget({0, 0, 0}, {0, 2000, 0}, 0.6f), 420, 800, 0);    // left of +Y is +X
  ExpectVec(firstTarget({0, 0, 0}, {2000, 0, 0}, 5.0f), 800, -2100, 0);  // |strength| capped at 3
  ExpectVec(firstTarget({0, 0, 0}, {2000, 0, 0}, -3.6f), 800, 2100, 0);

  // Start above end: no side, no amplitude, the targets are the plain interpolation points.
  FlatNav nav;
  nav.failProject = [](const Vec3&) { return true; };
  Route out;
  ArcStats stats;
  EXPECT_FALSE(BuildArcRoute(nav, {50, 60, 0}, {50, 60, 300}, ParamsFor(1.2f), out, stats));
  ASSERT_EQ(nav.projectQueries.size(), 27u);
  for (size_t i = 0; i < 27; ++i) {
    EXPECT_FLOAT_EQ(nav.projectQueries[i].x, 50);
    EXPECT_FLOAT_EQ(nav.projectQueries[i].y, 60);
    EXPECT_FLOAT_EQ(nav.projectQueries[i].z, 300 * (0.4f + 0.1f * (i / 9)));
  }
}

TEST(ArcBuilder, SingleArcOnOpenFloorCountsEveryQuery) {
  FlatNav nav;
  Route out;
  ArcStats stats;
  ASSERT_TRUE(BuildArcRoute(nav, {0, 0, 0}, {2000, 0, 0}, ParamsFor(0.6f), out, stats));
  ASSERT_EQ(out.size(), 3u);  // straight legs: start, apex, end; nothing to pull or thin
  ExpectVec(out.front().location, 0, 0, 0);
  ExpectVec(out.back().location, 2000, 0, 0);
  EXPECT_FLOAT_EQ(out[1].location.y, -420);  // the sharpest bend (m = 1) wins on open floor
  EXPECT_NE(out[1].nodeRef, 0u);             // points from FindPath are carried whole
  EXPECT_EQ(stats.candidatesTried, 9);
  EXPECT_EQ(stats.candidatesScored, 9);
  EXPECT_EQ(stats.pathSearches, 18);
  EXPECT_EQ(stats.projections, 9 + 9 * 8);
  EXPECT_EQ(stats.lineTests, 0);
  EXPECT_EQ(stats.projections, nav.projectCalls);
  EXPECT_EQ(stats.pathSearches, nav.pathCalls);
  EXPECT_EQ(stats.lineTests, nav.sightCalls);
  EXPECT_LT(stats.bestScore, 2.0f - kPi / 2);  // bend sharper than straight, gentler than 90
  EXPECT_GT(stats.bestScore, 2.0f - kPi);
}

TEST(ArcBuilder, EarliestCandidateWinsATie) {
  FlatNav nav;
  nav.snapTo = Vec3{1000, -300, 0};  // every candidate reaches the same apex: equal scores
  ArcChoice choice;
  ArcStats stats;
  ASSERT_TRUE(BuildBestArc(nav, {0, 0, 0}, {2000, 0, 0}, 0.6f, ParamsFor(0.6f), choice, stats));
  EXPECT_EQ(stats.candidatesScored, 9);
  EXPECT_EQ(choice.leg1.front().nodeRef, 1u);  // the legs of the first two path searches
  EXPECT_EQ(choice.leg2.front().nodeRef, 2u);
  EXPECT_FLOAT_EQ(stats.bestScore, choice.score);
}

TEST(ArcBuilder, StrictlyBetterLaterCandidateReplacesTheFirst) {
  FlatNav nav;
  // Blocks one clearance probe (the one at 180 degrees) of the t = 0.4, m = 1 apex only.
  nav.holes.push_back({740, -430, 760, -410});
  ArcChoice choice;
  ArcStats stats;
  ASSERT_TRUE(BuildBestArc(nav, {0, 0, 0}, {2000, 0, 0}, 0.6f, ParamsFor(0.6f), choice, stats));
  ExpectVec(choice.leg1.back().location, 1200, -420, 0);  // its mirror image at t = 0.6
}

TEST(ArcBuilder, CandidateDoublingBackAtTheApexIsDroppedEvenIfItWouldScoreBest) {
  for (float bend : {-0.79f, -0.81f}) {
    FlatNav nav;
    // The first candidate's leg 1 overshoots and comes back into the apex.
    nav.shapePath = [bend](const Vec3& from, const Vec3& to, Route& points) {
      if (to.x != 800 || to.y != -420 || from.x != 0) return;
      const Vec3 out = HorizontalUnit(Sub(Vec3{2000, 0, 0}, to));
      const float s = std::sqrt(1 - bend * bend);
      const Vec3 in{-out.x * -bend - out.y * s, -out.y * -bend + out.x * s, 0};  // in.out = bend
      points.insert(points.end() - 1, test::Pt(to.x - 100 * in.x, to.y - 100 * in.y));
    };
    ArcParams params = ParamsFor(0.6f);
    params.backwardsWeight = 0;  // so the sharp reversal would otherwise win
    ArcChoice choice;
    ArcStats stats;
    ASSERT_TRUE(BuildBestArc(nav, {0, 0, 0}, {2000, 0, 0}, 0.6f, params, choice, stats));
    if (bend > -0.8f) {
      EXPECT_EQ(stats.candidatesScored, 9);
      EXPECT_EQ(choice.leg1.size(), 3u);  // the reversal is kept as best
    } else {
      EXPECT_EQ(stats.candidatesScored, 8);
      EXPECT_EQ(stats.projections, 9 + 8 * 8);  // no probes for the rejected candidate
      EXPECT_EQ(choice.leg1.size(), 2u);
    }
  }
}

TEST(ArcBuilder, JoinDropsLegTwosFirstPointOnlyWithinOnePerAxis) {
  const Route leg1 = test::RouteOf({{0, 0, 0}, {100, 100, 10}});
  struct Case {
    Vec3 first;
    size_t size;
  } cases[] = {{{100, 100, 10}, 3},
               {{101, 99, 11}, 3},
               {{101.5f, 100, 10}, 4},
               {{100, 98.5f, 10}, 4},
               {{100, 100, 11.5f}, 4}};
  for (const Case& c : cases) {
    Route out;
    JoinLegs(leg1, test::RouteOf({c.first, {200, 0, 0}}), out);
    ASSERT_EQ(out.size(), c.size);
    EXPECT_TRUE(Same(out[1].location, leg1[1].location));
  }
  Route out = test::RouteOf({{9, 9, 9}});
  JoinLegs({}, test::RouteOf({{1, 1, 1}}), out);
  EXPECT_EQ(out.size(), 1u);
}

TEST(ArcBuilder, BuiltRouteJoinsLegsWithoutADoubledApex) {
  for (float shift : {1.0f, 1.5f}) {
    FlatNav nav;
    nav.snapTo = Vec3{1000, -400, 0};
    // Leg 2 starts a little off the apex, as engine paths may.
    nav.shapePath = [shift](const Vec3& from, const Vec3&, Route& points) {
      if (from.x == 1000) points.front().location = {1000 + shift, -400 + shift, shift};
    };
    ArcParams params = ParamsFor(0.6f);
    params.lineOfSightShortcuts = 0;
    Route out;
    ArcStats stats;
    ASSERT_TRUE(BuildArcRoute(nav, {0, 0, 0}, {2000, 0, 0}, params, out, stats));
    EXPECT_EQ(out.size(), shift <= 1.0f ? 3u : 4u);
    ExpectVec(out[1].location, 1000, -400, 0);
  }
}

TEST(ArcBuilder, DetourLegsArePulledButTheApexSurvives) {
  FlatNav nav;
  nav.snapTo = Vec3{1000, -400, 0};
  nav.holes.push_back({400, -300, 600, 100});  // in the way of leg 1
  Route out;
  ArcStats stats;
  ASSERT_TRUE(BuildArcRoute(nav, {0, 0, 0}, {2000, 0, 0}, ParamsFor(0.6f), out, stats));
  bool apexKept = false;
  for (const NavPoint& p : out) apexKept |= Same(p.location, {1000, -400, 0});
  EXPECT_TRUE(apexKept);
  ExpectVec(out.front().location, 0, 0, 0);
  ExpectVec(out.back().location, 2000, 0, 0);
  for (size_t i = 1; i < out.size(); ++i)
    EXPECT_TRUE(nav.SegmentOpen(out[i - 1].location, out[i].location));
  EXPECT_GT(stats.lineTests, 0);
}

TEST(ArcBuilder, NoHeapGrowthAfterWarmUp) {
  FlatNav nav;
  nav.holes.push_back({400, -300, 600, 100});
  ArcScratch scratch;
  Route out;
  auto buffers = [&] {
    return std::set<const void*>{scratch.choice.leg1.data(), scratch.choice.leg2.data(),
                                 scratch.legs.leg1.data(),   scratch.legs.leg2.data(),
                                 scratch.piece.data(),       out.data()};
  };
  for (int humps : {1, 3}) {
    ArcParams params = ParamsFor(0.8f, humps);
    ArcStats stats;
    for (int warm = 0; warm < 3; ++warm)
      ASSERT_TRUE(BuildArcRoute(nav, {0, 0, 0}, {2000, 0, 0}, params, out, stats, scratch));
    const auto before = buffers();
    ASSERT_TRUE(BuildArcRoute(nav, {0, 0, 0}, {2000, 0, 0}, params, out, stats, scratch));
    EXPECT_EQ(buffers(), before);  // buffers only trade places, none is reallocated
  }
}

}  // namespace
}  // namespace kvr::aps
