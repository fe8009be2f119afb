// The build's navigation memo on the shipped levels' Detour navmeshes: routes, results and
// counters are bit for bit those of a build without it, for every style; no query reaches the
// navmesh twice within one build; and nothing of one build is answered in the next.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "aps/nav_memo.h"
#include "nav_fixture.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/route_preview.h"

namespace {

using kvr::aps::NavPoint;
using kvr::aps::Route;
using kvr::aps::Vec3;
using kvr::sim::DetourNav;

// The bits of a query as it reached the navmesh.
using QueryKey = std::tuple<int, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;

QueryKey Key(int kind, const Vec3& a, const Vec3& b) {
  uint32_t bits[6];
  std::memcpy(bits, &a, sizeof a);
  std::memcpy(bits + 3, &b, sizeof b);
  return {kind, bits[0], bits[1], bits[2], bits[3], bits[4], bits[5]};
}

// Records every query that reaches the navmesh and how often each one came.
class RecordingNav final : public kvr::aps::INav {
 public:
  explicit RecordingNav(kvr::aps::INav& inner) : inner_(inner) {}
  bool ProjectPoint(const Vec3& p, Vec3& out) override {
    Note(Key(0, p, {}));
    return inner_.ProjectPoint(p, out);
  }
  bool FindPath(const Vec3& a, const Vec3& b, Route& r) override {
    Note(Key(1, a, b));
    return inner_.FindPath(a, b, r);
  }
  bool HasLineOfSight(const Vec3& a, const Vec3& b) override {
    Note(Key(2, a, b));
    return inner_.HasLineOfSight(a, b);
  }
  void Clear() { seen_.clear(), calls = 0, repeated = 0; }
  int calls = 0;
  int repeated = 0;  // calls whose exact query had come before in this build

 private:
  void Note(const QueryKey& k) {
    ++calls;
    repeated += !seen_.insert(k).second;
  }
  kvr::aps::INav& inner_;
  std::set<QueryKey> seen_;
};

struct MemoTrip {
  Vec3 from, to;
};

// Reachable trips of 5 to 45 m between random navmesh points; fixed seed.
std::vector<MemoTrip> Trips(const kvr::test::NavLevel& l, DetourNav& nav, size_t count) {
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<float> x(l.level.floorMinX, l.level.floorMaxX);
  std::uniform_real_distribution<float> y(l.level.floorMinY, l.level.floorMaxY);
  std::vector<MemoTrip> trips;
  Route route;
  for (int guard = 0; trips.size() < count && guard < 100000; ++guard) {
    Vec3 a, b;
    if (!nav.ProjectPoint({x(rng), y(rng), l.level.floorZ}, a) ||
        !nav.ProjectPoint({x(rng), y(rng), l.level.floorZ}, b))
      continue;
    const float d = std::hypot(b.x - a.x, b.y - a.y);
    if (d < 500.0f || d > 4500.0f || !nav.FindPath(a, b, route)) continue;
    trips.push_back({route.front().location, route.back().location});
  }
  return trips;
}

bool SameRoute(const Route& a, const Route& b) {
  if (a.size() != b.size()) return false;
  return a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(NavPoint)) == 0;
}

bool SameStats(const kvr::aps::ArcStats& a, const kvr::aps::ArcStats& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(NavMemo, RoutesOnTheShippedLevelsAreThoseOfBuildsWithoutIt) {
  kvr::aps::NavMemoStore store;  // one store for every build, as the path hook keeps it
  for (const char* name : {"arena", "large"}) {
    const kvr::test::NavLevel& level = kvr::test::SharedNavLevel(name);
    DetourNav nav(level.mesh);
    RecordingNav recorded(nav);
    const std::vector<MemoTrip> trips = Trips(level, nav, 40);
    ASSERT_EQ(trips.size(), 40u) << name;
    int asked = 0, answered = 0, reshaped = 0;
    for (int style = 0; style < kvr::aps::kStyleCount; ++style) {
      const kvr::aps::ArcParams params = kvr::sim::StyleArcParams(style);
      for (size_t i = 0; i < trips.size(); ++i) {
        SCOPED_TRACE(testing::Message() << name << ", style " << style << ", trip " << i);
        const MemoTrip& t = trips[i];
        Route plain, memoised;
        kvr::aps::ArcStats plainStats, memoStats;
        const bool plainOk = kvr::aps::BuildArcRoute(nav, t.from, t.to, params, plain, plainStats);
        recorded.Clear();
        kvr::aps::NavMemo memo(recorded, store);
        const bool memoOk =
            kvr::aps::BuildArcRoute(memo, t.from, t.to, params, memoised, memoStats);
        ASSERT_EQ(plainOk, memoOk);
        ASSERT_TRUE(SameRoute(plain, memoised));
        ASSERT_TRUE(SameStats(plainStats, memoStats));
        EXPECT_EQ(recorded.repeated, 0) << "a repeat reached the navmesh";
        EXPECT_EQ(recorded.calls + memo.Repeats().Total(), memoStats.Queries());
        asked += memoStats.Queries();
        answered += memo.Repeats().Total();
        reshaped += memoOk;
      }
    }
    EXPECT_GT(reshaped, 150) << name;
    // Repeats are found on both levels, and never make up most of a build.
    EXPECT_GT(answered, 0) << name;
    EXPECT_LT(answered * 2, asked) << name;
    std::printf("[ memo     ] %s: %d queries asked, %d (%.1f%%) answered from the memo\n", name,
                asked, answered, 100.0 * answered / asked);
  }
}

// A navigation whose answers change between builds (a navmesh rebuilt under a moved door):
// the memo of the second build must ask again rather than answer from the first.
class ShiftingNav final : public kvr::aps::INav {
 public:
  bool ProjectPoint(const Vec3& p, Vec3& out) override {
    ++calls;
    out = {p.x + shift, p.y, p.z};
    return true;
  }
  bool FindPath(const Vec3& a, const Vec3& b, Route& r) override {
    ++calls;
    r.assign(2, NavPoint{});
    r[0].location = a;
    r[1].location = {b.x + shift, b.y, b.z};
    return shift < 100.0f;
  }
  bool HasLineOfSight(const Vec3&, const Vec3&) override { return ++calls, shift < 1.0f; }
  float shift = 0.0f;
  int calls = 0;
};

TEST(NavMemo, AnswersRepeatsOfItsOwnBuildOnlyAndKeepsFailuresAsFailures) {
  ShiftingNav nav;
  kvr::aps::NavMemoStore store;
  const Vec3 a{1, 2, 3}, b{40, 50, 60};
  Vec3 p;
  Route r;
  {
    kvr::aps::NavMemo memo(nav, store);
    ASSERT_TRUE(memo.ProjectPoint(a, p));
    ASSERT_TRUE(memo.ProjectPoint(a, p));
    EXPECT_EQ(p.x, 1.0f);
    ASSERT_TRUE(memo.FindPath(a, b, r));
    r.clear();
    ASSERT_TRUE(memo.FindPath(a, b, r));
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].location.x, 40.0f);
    EXPECT_TRUE(memo.FindPath(b, a, r)) << "the reverse trip is a question of its own";
    EXPECT_TRUE(memo.HasLineOfSight(a, b));
    EXPECT_TRUE(memo.HasLineOfSight(a, b));
    const Vec3 minusZero{-0.0f, 2, 3}, plusZero{0.0f, 2, 3};
    memo.ProjectPoint(minusZero, p);
    memo.ProjectPoint(plusZero, p);
    EXPECT_EQ(memo.Repeats().projections, 1);
    EXPECT_EQ(memo.Repeats().pathSearches, 1);
    EXPECT_EQ(memo.Repeats().lineTests, 1);
    EXPECT_EQ(nav.calls, 6) << "only questions not asked before reach the navigation";
  }
  nav.shift = 200.0f;
  nav.calls = 0;
  kvr::aps::NavMemo next(nav, store);
  ASSERT_TRUE(next.ProjectPoint(a, p));
  EXPECT_EQ(p.x, 201.0f) << "the earlier build's answer is gone";
  EXPECT_FALSE(next.FindPath(a, b, r));
  r.assign(5, NavPoint{});
  EXPECT_FALSE(next.FindPath(a, b, r));
  EXPECT_EQ(r.size(), 5u) << "a refused path, asked again, leaves the points as they were";
  EXPECT_FALSE(next.HasLineOfSight(a, b));
  EXPECT_EQ(next.Repeats().Total(), 1);
  EXPECT_EQ(nav.calls, 3);
}

// Enough different questions to grow the table several times: every one is still found, and
// the next build on the same store, with a grown table left behind, starts empty.
TEST(NavMemo, FindsEveryEarlierQuestionAfterTheTableGrowsAndForgetsItInTheNextBuild) {
  ShiftingNav nav;
  kvr::aps::NavMemoStore store;
  Vec3 p;
  {
    kvr::aps::NavMemo memo(nav, store);
    for (int round = 0; round < 2; ++round)
      for (int i = 0; i < 3000; ++i) memo.ProjectPoint({static_cast<float>(i), 0.5f, 0.0f}, p);
    EXPECT_EQ(nav.calls, 3000);
    EXPECT_EQ(memo.Repeats().projections, 3000);
    EXPECT_EQ(p.x, 2999.0f);
  }
  // Builds of every size after the big one: a few questions asked twice, with new answers.
  for (int questions : {1, 10, 200, 3000}) {
    SCOPED_TRACE(questions);
    nav.shift += 1.0f;
    nav.calls = 0;
    kvr::aps::NavMemo memo(nav, store);
    for (int round = 0; round < 2; ++round)
      for (int i = 0; i < questions; ++i) {
        ASSERT_TRUE(memo.ProjectPoint({static_cast<float>(i), 0.5f, 0.0f}, p));
        ASSERT_EQ(p.x, static_cast<float>(i) + nav.shift) << "an answer of an earlier build";
      }
    EXPECT_EQ(nav.calls, questions);
    EXPECT_EQ(memo.Repeats().projections, questions);
  }
}

}  // namespace
