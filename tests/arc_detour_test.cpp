// The arc builder on the real arena navmesh: every style gives a walkable route that bends to
// the side asked for and stays within the stretch limits; and the route preview behind
// `kvr-sim route` reports it faithfully.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "nav_fixture.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/route_preview.h"

namespace {

using kvr::aps::Route;
using kvr::aps::Vec3;
using kvr::sim::DetourNav;

// Counts the queries that reach the navmesh.
class CountingNav final : public kvr::aps::INav {
 public:
  explicit CountingNav(kvr::aps::INav& inner) : inner_(inner) {}
  bool ProjectPoint(const Vec3& p, Vec3& out) override {
    return ++calls, inner_.ProjectPoint(p, out);
  }
  bool FindPath(const Vec3& a, const Vec3& b, Route& r) override {
    return ++calls, inner_.FindPath(a, b, r);
  }
  bool HasLineOfSight(const Vec3& a, const Vec3& b) override {
    return ++calls, inner_.HasLineOfSight(a, b);
  }
  int calls = 0;

 private:
  kvr::aps::INav& inner_;
};

struct Trip {
  Vec3 from, to;
};

// Open stretches of the arena in several directions, 20 to 45 m long.
const Trip kTrips[] = {
    {{-2000, -1000, 0}, {2000, 500, 0}},  {{-2600, 2600, 0}, {600, 1000, 0}},
    {{2600, -2600, 0}, {-400, 400, 0}},   {{500, 2700, 0}, {300, -1200, 0}},
    {{-2700, -200, 0}, {-300, -2700, 0}},
};

// Signed horizontal offset of p from the line a->b; positive is left of travel, which in the
// engine's frame (x forward, y right) is (dir.y, -dir.x).
float LeftOffset(const Vec3& a, const Vec3& b, const Vec3& p) {
  const float len = std::hypot(b.x - a.x, b.y - a.y);
  return ((p.x - a.x) * (b.y - a.y) - (p.y - a.y) * (b.x - a.x)) / len;
}

TEST(ArcOnArena, EveryStyleBendsToItsSideOnOpenRoutesWithinTheStretchLimits) {
  DetourNav nav(kvr::test::Arena().mesh);
  for (int style = 1; style < kvr::aps::kStyleCount; ++style) {
    const kvr::aps::ArcParams params = kvr::sim::StyleArcParams(style);
    for (const Trip& trip : kTrips) {
      SCOPED_TRACE(testing::Message() << "style " << style << " from " << trip.from.x << ","
                                      << trip.from.y << " to " << trip.to.x << "," << trip.to.y);
      Route engine, route;
      ASSERT_TRUE(nav.FindPath(trip.from, trip.to, engine));
      const Vec3 a = engine.front().location, b = engine.back().location;
      kvr::aps::ArcStats stats;
      ASSERT_TRUE(kvr::aps::BuildArcRoute(nav, a, b, params, route, stats));
      ASSERT_GE(route.size(), 3u);
      EXPECT_LT(std::hypot(route.front().location.x - a.x, route.front().location.y - a.y), 1.0f);
      EXPECT_LT(std::hypot(route.back().location.x - b.x, route.back().location.y - b.y), 1.0f);
      for (size_t i = 1; i < route.size(); ++i)
        EXPECT_TRUE(kvr::test::SegmentOnNavmesh(nav, route[i - 1].location, route[i].location))
            << "segment " << i;
      // The farthest bend lies on the requested side, and well out.
      const float sign = params.strength > 0 ? 1.0f : -1.0f;
      const float straight = std::hypot(b.x - a.x, b.y - a.y);
      float toSide = 0.0f, otherSide = 0.0f;
      for (const auto& p : route) {
        const float off = LeftOffset(a, b, p.location) * sign;
        toSide = std::max(toSide, off), otherSide = std::max(otherSide, -off);
      }
      EXPECT_GT(toSide, 0.05f * straight);
      EXPECT_GT(toSide, otherSide);
      // Each accepted hump stretches its segment by at most the limit of its turn.
      const float length = kvr::sim::HorizontalRouteLength(route);
      float limit = straight * (1.0f + params.maxStretchFirst);
      if (params.humps > 1) {
        ASSERT_GE(stats.humpsAccepted, 1);
        limit *= std::pow(1.0f + params.maxStretchExtra, float(stats.humpsAccepted - 1));
      }
      EXPECT_LE(length, limit * 1.001f);
      EXPECT_GT(length, straight);
    }
  }
}

TEST(ArcOnArena, DirectAndDegenerateTripsNeverQueryTheNavmesh) {
  DetourNav detour(kvr::test::Arena().mesh);
  CountingNav nav(detour);
  Route route;
  kvr::aps::ArcStats stats;
  EXPECT_FALSE(kvr::aps::BuildArcRoute(nav, {0, 0, 0}, {1000, 0, 0}, kvr::sim::StyleArcParams(0),
                                       route, stats));
  EXPECT_FALSE(kvr::aps::BuildArcRoute(nav, {5, 5, 0}, {5, 5, 0}, kvr::sim::StyleArcParams(1),
                                       route, stats));
  EXPECT_EQ(nav.calls, 0);
  EXPECT_EQ(stats.Queries(), 0);
}

// Into the closed room no path exists: every candidate's legs fail, the engine route stays.
TEST(ArcOnArena, UnreachableApexesLeaveTheEngineRoute) {
  DetourNav nav(kvr::test::Arena().mesh);
  Route route;
  kvr::aps::ArcStats stats;
  EXPECT_FALSE(kvr::aps::BuildArcRoute(nav, {1000, 2000, 0}, {2000, 2000, 0},
                                       kvr::sim::StyleArcParams(1), route, stats));
  EXPECT_EQ(stats.candidatesScored, 0);
}

TEST(RoutePreview, JsonCarriesBothRoutesAndTheStats) {
  DetourNav nav(kvr::test::Arena().mesh);
  for (int style = 0; style < kvr::aps::kStyleCount; ++style) {
    kvr::sim::RoutePreview preview;
    std::string error;
    ASSERT_TRUE(
        kvr::sim::PreviewRoute(nav, {-2000, -1000, 0}, {2000, 500, 0}, style, preview, error))
        << error;
    const auto j = nlohmann::json::parse(kvr::sim::RoutePreviewJson(preview));
    EXPECT_EQ(j["style"], style);
    EXPECT_EQ(j["reshaped"], style != 0);
    ASSERT_EQ(j["engine"].size(), preview.engine.size());
    ASSERT_EQ(j["route"].size(), preview.route.size());
    EXPECT_EQ(j["route"][0][0].get<float>(), preview.route[0].location.x);
    EXPECT_EQ(j["stats"]["projections"], preview.stats.projections);
    EXPECT_EQ(j["stats"]["pathSearches"], preview.stats.pathSearches);
    EXPECT_EQ(j["stats"].size(), 10u);
    if (style == 0) {
      EXPECT_EQ(j["route"], j["engine"]);  // Direct keeps the engine route
      EXPECT_EQ(preview.apex, -1);
    } else {
      EXPECT_GT(preview.stats.pathSearches, 0);
      EXPECT_GT(preview.apex, 0);
    }
  }
}

TEST(RoutePreview, RefusesPointsOffTheNavmeshAndUnreachableGoals) {
  DetourNav nav(kvr::test::Arena().mesh);
  kvr::sim::RoutePreview preview;
  std::string error;
  EXPECT_FALSE(kvr::sim::PreviewRoute(nav, {1200, 1200, 0}, {0, 0, 0}, 1, preview, error));
  EXPECT_NE(error.find("start"), std::string::npos);
  EXPECT_FALSE(kvr::sim::PreviewRoute(nav, {0, 0, 0}, {9000, 0, 0}, 1, preview, error));
  EXPECT_NE(error.find("goal"), std::string::npos);
  EXPECT_FALSE(kvr::sim::PreviewRoute(nav, {0, 0, 0}, {2000, 2000, 0}, 1, preview, error));
  EXPECT_NE(error.find("no complete path"), std::string::npos);
  EXPECT_FALSE(kvr::sim::PreviewRoute(nav, {0, 0, 0}, {500, 0, 0}, 7, preview, error));
}

TEST(RoutePreview, SvgDrawsTheLevelBothRoutesAndTheApex) {
  const auto& arena = kvr::test::Arena();
  DetourNav nav(arena.mesh);
  kvr::sim::RoutePreview preview;
  std::string error;
  ASSERT_TRUE(kvr::sim::PreviewRoute(nav, {-2000, -1000, 0}, {2000, 500, 0}, 4, preview, error));
  kvr::sim::Level named = arena.level;
  named.name = "a<b&c";
  const std::string svg = kvr::sim::RoutePreviewSvg(preview, named, arena.mesh);
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("</svg>"), std::string::npos);
  EXPECT_NE(svg.find("stroke=\"#8C8C8C\""), std::string::npos);  // engine route
  EXPECT_NE(svg.find("stroke=\"#FF40C0\""), std::string::npos);  // Wide Right's colour
  EXPECT_NE(svg.find(">apex</text>"), std::string::npos);
  EXPECT_NE(svg.find("a&lt;b&amp;c"), std::string::npos);
  size_t obstacles = 0;
  for (size_t at = svg.find("<polygon"); at != std::string::npos; at = svg.find("<polygon", at + 1))
    ++obstacles;
  EXPECT_GT(obstacles, arena.level.boxes.size() + arena.level.walls.size());
}

}  // namespace
