// Weaves: hump strengths with falloff, stretch limits, splicing into the longest segment,
// failures of later humps and the near-duplicate clean-up.
#include <gtest/gtest.h>

#include <cmath>

#include "aps/aps.h"
#include "aps/horizontal.h"
#include "aps_flat_nav.h"

namespace kvr::aps {
namespace {

using test::FlatNav;
using test::ParamsFor;

constexpr Vec3 kStart{0, 0, 0};
constexpr Vec3 kEnd{2000, 0, 0};

// Offset of the first candidate's apex target from its base point, relative to the length of
// the segment the hump bends: strength x amplitude fraction for an m = 1 target on open floor.
float FirstTargetStrength(const FlatNav& nav, size_t firstPathQuery, float fraction) {
  const Vec3 a = nav.pathQueries[firstPathQuery].first;
  const Vec3 target = nav.pathQueries[firstPathQuery].second;
  const Vec3 b = nav.pathQueries[firstPathQuery + 1].second;
  const Vec3 base{a.x + 0.4f * (b.x - a.x), a.y + 0.4f * (b.y - a.y), 0};
  return HorizontalDistance(base, target) / (HorizontalDistance(a, b) * fraction);
}

TEST(Weave, StretchRejectionThenWeakerHumpsWithFalloff) {
  FlatNav nav;
  ArcParams params = ParamsFor(0.8f, 3);
  params.maxStretchFirst = 0.1f;   // the 0.8 hump stretches the trip by about 15%
  params.maxStretchExtra = 0.05f;  // the 0.32 hump by under 3%
  Route out;
  ArcStats stats;
  ASSERT_TRUE(BuildArcRoute(nav, kStart, kEnd, params, out, stats));
  EXPECT_EQ(stats.humpsRejectedStretch, 1);
  EXPECT_EQ(stats.humpsAccepted, 2);
  ASSERT_EQ(nav.pathQueries.size(), 3u * 18u);         // three arc attempts of nine candidates each
  EXPECT_FLOAT_EQ(nav.pathQueries[0].second.y, -560);  // 0.8 x 2000 x 0.35
  EXPECT_FLOAT_EQ(nav.pathQueries[18].second.y, -224);  // same segment again at 0.32
  EXPECT_FLOAT_EQ(nav.pathQueries[18].first.x, 0);
  EXPECT_NEAR(FirstTargetStrength(nav, 36, 0.35f), 0.128f, 1e-5f);
  // Weaves are neither string-pulled nor thinned.
  EXPECT_EQ(stats.lineTests, 0);
  EXPECT_EQ(nav.sightCalls, 0);
  EXPECT_EQ(stats.removedCollinear + stats.removedShortcuts, 0);

  ASSERT_GE(out.size(), 4u);
  EXPECT_EQ(out.front().location.x, kStart.x);
  EXPECT_EQ(out.back().location.x, kEnd.x);
  EXPECT_EQ(out.front().nodeRef, 0u);  // created end points carry no extras
  for (size_t i = 1; i + 1 < out.size(); ++i) EXPECT_LT(out[i].location.y, 0.0f);  // all left
  const float stretch = HorizontalRouteLength(out) / 2000.0f;
  EXPECT_GT(stretch, 1.0f);
  EXPECT_LE(stretch, 1.05f * 1.05f);
}

TEST(Weave, LaterHumpsUseTheirOwnStretchLimit) {
  FlatNav nav;
  ArcParams params = ParamsFor(0.8f, 3);
  params.maxStretchFirst = 0.1f;
  params.maxStretchExtra = 0.02f;  // the 0.32 hump (under 3%) is too long now, 0.128 is not
  Route out;
  ArcStats stats;
  ASSERT_TRUE(BuildArcRoute(nav, kStart, kEnd, params, out, stats));
  EXPECT_EQ(stats.humpsRejectedStretch, 2);
  EXPECT_EQ(stats.humpsAccepted, 1);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_NEAR(out[1].location.y, -0.128f * 2000 * 0.35f, 1e-3f);
}

TEST(Weave, FirstHumpFailingFailsTheWeave) {
  FlatNav nav;
  nav.failProject = [](const Vec3&) { return true; };
  Route out = test::RouteOf({{1, 1, 1}});
  ArcStats stats;
  EXPECT_FALSE(BuildArcRoute(nav, kStart, kEnd, ParamsFor(0.8f, 3), out, stats));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(stats.projections, 27);  // the loop stops after the first failed hump
  EXPECT_EQ(stats.humpsAccepted, 0);

  // Every hump rejected for stretch is a failure too.
  FlatNav open;
  ArcParams tight = ParamsFor(0.8f, 3);
  tight.maxStretchFirst = tight.maxStretchExtra = 0.0f;
  ArcStats tightStats;
  EXPECT_FALSE(BuildArcRoute(open, kStart, kEnd, tight, out, tightStats));
  EXPECT_EQ(tightStats.humpsRejectedStretch, 3);
  EXPECT_TRUE(out.empty());
}

TEST(Weave, SecondHumpFailingKeepsTheFirst) {
  FlatNav nav;
  nav.failPath = [&nav](const Vec3&, const Vec3&) { return nav.pathCalls > 18; };
  Route out;
  ArcStats stats;
  ASSERT_TRUE(BuildArcRoute(nav, kStart, kEnd, ParamsFor(0.8f, 3), out, stats));
  EXPECT_EQ(stats.humpsAccepted, 1);
  EXPECT_EQ(nav.pathCalls, 18 + 9);  // the second attempt failed every leg 1; no third one
  ASSERT_EQ(out.size(), 3u);
  EXPECT_FLOAT_EQ(out[1].location.y, -560);
}

TEST(Weave, EqualSegmentsSplitTheEarliestAndTheClusterShrinks) {
  FlatNav nav;
  nav.snapTo = Vec3{1000, -500, 0};  // every apex lands on one point
  Route out;
  ArcStats stats;
  ASSERT_TRUE(BuildArcRoute(nav, kStart, kEnd, ParamsFor(0.8f, 3), out, stats));
  EXPECT_EQ(stats.humpsAccepted, 3);
  // After the first hump both segments are equally long; the earliest is bent next.
  EXPECT_FLOAT_EQ(nav.pathQueries[18].first.x, 0);
  EXPECT_FLOAT_EQ(nav.pathQueries[36].first.x, 0);
  // start, S, S, S, end before clean-up: the middle of the cluster goes.
  ASSERT_EQ(out.size(), 4u);
  EXPECT_FLOAT_EQ(out[1].location.x, 1000);
  EXPECT_FLOAT_EQ(out[2].location.x, 1000);
  EXPECT_FLOAT_EQ(out[3].location.x, 2000);
}

TEST(Weave, HumpCountClampedAndModeFromTheGivenValue) {
  FlatNav nav;
  nav.snapTo = Vec3{1000, -500, 0};
  Route out;
  ArcStats stats;
  ASSERT_TRUE(BuildArcRoute(nav, kStart, kEnd, ParamsFor(0.8f, 50), out, stats));
  EXPECT_EQ(nav.pathCalls, 8 * 18);  // at most eight humps
  EXPECT_EQ(stats.humpsAccepted, 8);

  for (int humps : {0, -4}) {  // below 1: a single arc (pulled and thinned)
    FlatNav single;
    ArcStats singleStats;
    ASSERT_TRUE(BuildArcRoute(single, kStart, kEnd, ParamsFor(0.8f, humps), out, singleStats));
    EXPECT_EQ(single.pathCalls, 18);
    EXPECT_EQ(singleStats.humpsAccepted, 0);
  }
}

TEST(Weave, NothingToBendOnAVerticalTrip) {
  FlatNav nav;
  Route out;
  ArcStats stats;
  EXPECT_FALSE(BuildArcRoute(nav, {5, 5, 0}, {5, 5, 200}, ParamsFor(0.8f, 3), out, stats));
  EXPECT_EQ(nav.projectCalls + nav.pathCalls + nav.sightCalls, 0);
}

TEST(Weave, NearDuplicatePointsFromPathsAreDropped) {
  FlatNav nav;
  // Engine paths sometimes end in a small cluster of points just before the goal.
  nav.shapePath = [](const Vec3& from, const Vec3& to, Route& points) {
    const Vec3 u = HorizontalUnit(Sub(to, from));
    points.insert(points.end() - 1, test::Pt(to.x - 2 * u.x, to.y - 2 * u.y));
    points.insert(points.end() - 1, test::Pt(to.x - u.x, to.y - u.y));
  };
  Route out;
  ArcStats stats;
  ASSERT_TRUE(BuildArcRoute(nav, kStart, kEnd, ParamsFor(0.8f, 2), out, stats));
  ASSERT_GE(out.size(), 3u);
  for (size_t i = 1; i + 1 < out.size(); ++i) {
    const bool nearBoth = HorizontalDistance(out[i - 1].location, out[i].location) < 5.0f &&
                          HorizontalDistance(out[i].location, out[i + 1].location) < 5.0f;
    EXPECT_FALSE(nearBoth) << "point " << i;
  }
  EXPECT_EQ(out.back().location.x, kEnd.x);
}

}  // namespace
}  // namespace kvr::aps
