// String pulling, collinear thinning and near-duplicate removal, with the apex kept in place.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "aps/route_cleanup.h"
#include "aps_flat_nav.h"

namespace kvr::aps {
namespace {

using test::FlatNav;
using test::RouteOf;

std::vector<float> Xs(const Route& route) {
  std::vector<float> xs;
  for (const NavPoint& p : route) xs.push_back(p.location.x);
  return xs;
}

// start, three points on a straight run, apex, two points, end.
Route RunThenApex() {
  return RouteOf({{0, 0, 0},
                  {100, 0, 0},
                  {200, 0, 0},
                  {300, 0, 0},
                  {400, -200, 0},
                  {600, -100, 0},
                  {800, -50, 0},
                  {1000, 0, 0}});
}

TEST(PullString, ThreePointRouteIsNeverChanged) {
  FlatNav nav;
  Route route = RouteOf({{0, 0, 0}, {500, -300, 0}, {1000, 0, 0}});
  int apex = 1;
  ArcStats stats;
  PullString(nav, route, apex, stats);
  ThinCollinear(nav, route, apex, 0.99f, true, stats);
  EXPECT_EQ(route.size(), 3u);
  EXPECT_EQ(apex, 1);
  EXPECT_EQ(nav.sightCalls, 0);  // the only shortcut would jump the apex
  EXPECT_EQ(stats.lineTests, 0);

  Route straight = RouteOf({{0, 0, 0}, {500, 0, 0}, {1000, 0, 0}});
  ThinCollinear(nav, straight, apex, 0.99f, true, stats);
  EXPECT_EQ(straight.size(), 3u);  // the apex is never thinned, even on a straight line
}

TEST(PullString, StraightRunCollapsesOntoTheApexButNeverJumpsIt) {
  FlatNav nav;
  Route route = RunThenApex();
  int apex = 4;
  ArcStats stats;
  PullString(nav, route, apex, stats);
  EXPECT_EQ(Xs(route), (std::vector<float>{0, 400, 1000}));
  EXPECT_EQ(apex, 1);
  EXPECT_EQ(stats.removedShortcuts, 5);
  EXPECT_EQ(stats.lineTests, 5);
  EXPECT_EQ(nav.sightCalls, 5);
  for (const auto& [from, to] : nav.sightQueries)
    EXPECT_TRUE(from.x == 0 ? to.x <= 400 : from.x == 400) << from.x << " -> " << to.x;
}

TEST(PullString, BlockedLineStopsTheScan) {
  FlatNav nav;
  nav.failSight = [](const Vec3& from, const Vec3& to) { return from.x == 0 && to.x == 200; };
  Route route = RunThenApex();
  int apex = 4;
  ArcStats stats;
  PullString(nav, route, apex, stats);
  // From 0 the first test fails; from 100 the run reaches the apex; from the apex, the end.
  EXPECT_EQ(Xs(route), (std::vector<float>{0, 100, 400, 1000}));
  EXPECT_EQ(apex, 2);
  EXPECT_EQ(stats.lineTests, 1 + 2 + 2);
  EXPECT_EQ(stats.removedShortcuts, 4);

  FlatNav blocked;
  blocked.failSight = [](const Vec3&, const Vec3&) { return true; };
  Route kept = RunThenApex();
  apex = 4;
  ArcStats keptStats;
  PullString(blocked, kept, apex, keptStats);
  EXPECT_EQ(kept.size(), 8u);
  EXPECT_EQ(keptStats.lineTests, 5);  // one failed test from each point that has a pair
}

Route Bend(float degrees) {
  const double r = degrees * std::numbers::pi / 180.0;
  return RouteOf(
      {{0, 0, 0},
       {1000, 0, 0},
       {static_cast<float>(1000 + 1000 * std::cos(r)), static_cast<float>(1000 * std::sin(r)), 0},
       {2500, -800, 0}});
}

TEST(ThinCollinear, FiveDegreesIsThinnedTenDegreesIsKept) {
  FlatNav nav;
  Route five = Bend(5);
  int apex = 2;
  ArcStats stats;
  ThinCollinear(nav, five, apex, 0.99f, true, stats);
  EXPECT_EQ(Xs(five).size(), 3u);
  EXPECT_EQ(five[1].location.x, Bend(5)[2].location.x);
  EXPECT_EQ(apex, 1);  // the apex moved down with the removal
  EXPECT_EQ(stats.removedCollinear, 1);
  EXPECT_EQ(stats.lineTests, 1);

  Route ten = Bend(10);
  apex = 2;
  ArcStats tenStats;
  ThinCollinear(nav, ten, apex, 0.99f, true, tenStats);
  EXPECT_EQ(ten.size(), 4u);
  EXPECT_EQ(apex, 2);
  EXPECT_EQ(tenStats.lineTests, 0);  // not a candidate, so no line test
}

TEST(ThinCollinear, NavmeshCheckDecidesAndTheFlagSkipsIt) {
  FlatNav nav;
  nav.failSight = [](const Vec3&, const Vec3&) { return true; };
  Route route = Bend(5);
  int apex = 2;
  ArcStats stats;
  ThinCollinear(nav, route, apex, 0.99f, true, stats);
  EXPECT_EQ(route.size(), 4u);
  EXPECT_EQ(stats.lineTests, 1);
  ThinCollinear(nav, route, apex, 0.99f, false, stats);
  EXPECT_EQ(route.size(), 3u);
  EXPECT_EQ(stats.lineTests, 1);
  EXPECT_EQ(nav.sightCalls, 1);
}

TEST(ThinCollinear, CollinearPointsAroundTheApexGoAndTheApexStays) {
  FlatNav nav;
  Route route = RouteOf({{0, 0, 0}, {100, 0, 0}, {200, 0, 0}, {300, 0, 0}, {400, 0, 0}});
  int apex = 2;
  ArcStats stats;
  ThinCollinear(nav, route, apex, 0.99f, true, stats);
  EXPECT_EQ(Xs(route), (std::vector<float>{0, 200, 400}));
  EXPECT_EQ(apex, 1);
  EXPECT_EQ(stats.removedCollinear, 2);

  // Doubled points have no direction and are left for the other passes.
  Route doubled = RouteOf({{0, 0, 0}, {100, 0, 0}, {100, 0, 0}, {300, 0, 0}});
  apex = 3;
  ThinCollinear(nav, doubled, apex, 0.99f, true, stats);
  EXPECT_EQ(doubled.size(), 4u);
}

TEST(DropNearDuplicates, ClusterKeepsItsFirstAndLastPoint) {
  Route route =
      RouteOf({{0, 0, 0}, {500, 0, 0}, {502, 1, 0}, {501, 3, 0}, {503, 2, 0}, {1000, 0, 0}});
  DropNearDuplicates(route);
  EXPECT_EQ(Xs(route), (std::vector<float>{0, 500, 503, 1000}));

  // Judged against the last point kept: a creeping line of 4 cm steps keeps every other one.
  Route creep = RouteOf({{0, 0, 0}, {4, 0, 0}, {8, 0, 0}, {12, 0, 0}, {16, 0, 0}, {900, 0, 0}});
  DropNearDuplicates(creep);
  EXPECT_EQ(Xs(creep), (std::vector<float>{0, 8, 16, 900}));

  // End points stay; vertical distance does not count.
  Route tiny = RouteOf({{0, 0, 0}, {1, 0, 300}, {2, 0, 0}});
  DropNearDuplicates(tiny);
  EXPECT_EQ(Xs(tiny), (std::vector<float>{0, 2}));
  Route two = RouteOf({{0, 0, 0}, {1, 0, 0}});
  DropNearDuplicates(two);
  EXPECT_EQ(two.size(), 2u);
  Route none;
  DropNearDuplicates(none);
  EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace kvr::aps
