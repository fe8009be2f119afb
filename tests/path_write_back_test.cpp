// Writing a reshaped route into the engine's own path object: in place when the point array
// has room, through the engine allocator when it must grow, never otherwise; and nothing the
// engine owns is leaked or freed twice.
#include <gtest/gtest.h>

#include <vector>

#include "nav/write_back.h"
#include "nav_fixture.h"
#include "sim/game_objects.h"
#include "sim/nav/detour_nav.h"
#include "sim/path_finding.h"

namespace kvr {
namespace {

class WriteBack : public ::testing::Test {
 protected:
  WriteBack() : game_(sim::RegisterGameClasses(world_)), level_(test::Arena().mesh) {
    host::SetHost(&world_);
    world_.SetNavigation(&level_);
    navmesh_ = sim::SpawnEngineNavMesh(world_, game_, L"RecastNavMesh-Default");
    owner_ = world_.Spawn(*game_.baseAIController, L"Owner");
  }
  ~WriteBack() override {
    sim::ReleasePathReference(result_.controller);
    EXPECT_EQ(world_.LiveAllocations(), 0) << "an engine block was leaked";
    EXPECT_EQ(world_.BadFrees(), 0) << "a block was freed that was not live";
    host::SetHost(nullptr);
  }

  // An engine path across open ground whose array has `slack` spare places.
  sim::NavPath& Find(int32_t slack) {
    world_.SetPathPointSlack(slack);
    const sim::PathQuery query =
        sim::MakePathQuery(world_, owner_, navmesh_, {-2000, -1000, 0}, {2000, 500, 0});
    sim::EngineFindPath(&result_, &agent_, &query);
    EXPECT_EQ(result_.result, sim::kPathSuccess);
    return *result_.path;
  }
  static aps::Route Route(size_t n) {
    aps::Route r(n);
    for (size_t i = 0; i < n; ++i) {
      r[i].location = {static_cast<float>(i) * 100.0f, 5.0f, 0.0f};
      r[i].nodeRef = 1000 + i;
    }
    return r;
  }
  static void ExpectHolds(const sim::NavPath& path, const aps::Route& route) {
    ASSERT_EQ(path.count, static_cast<int32_t>(route.size()));
    for (size_t i = 0; i < route.size(); ++i) {
      EXPECT_EQ(path.points[i].location.x, route[i].location.x);
      EXPECT_EQ(path.points[i].nodeRef, route[i].nodeRef);
    }
  }

  sim::World world_;
  sim::GameClasses game_;
  sim::DetourNav level_;
  host::UObject* navmesh_ = nullptr;
  host::UObject* owner_ = nullptr;
  sim::AgentProperties agent_;
  sim::PathResult result_;
};

TEST_F(WriteBack, ARouteThatFitsIsCopiedInPlace) {
  sim::NavPath& path = Find(8);
  const aps::NavPoint* array = path.points;
  const int32_t capacity = path.capacity;
  const aps::Route route = Route(static_cast<size_t>(capacity));  // exactly full
  const int64_t live = world_.LiveAllocations();
  ASSERT_TRUE(game::WriteBackRoute(&path, route));
  EXPECT_EQ(path.points, array);
  EXPECT_EQ(path.capacity, capacity);
  ExpectHolds(path, route);
  EXPECT_EQ(world_.LiveAllocations(), live);

  ASSERT_TRUE(game::WriteBackRoute(&path, Route(2)));  // shorter: the count shrinks
  EXPECT_EQ(path.count, 2);
  EXPECT_EQ(path.capacity, capacity);
}

TEST_F(WriteBack, ALongerRouteGrowsTheArrayThroughTheEngineAllocator) {
  sim::NavPath& path = Find(0);
  const aps::NavPoint* old = path.points;
  const aps::Route route = Route(static_cast<size_t>(path.count) + 3);
  const int64_t live = world_.LiveAllocations();
  ASSERT_TRUE(game::WriteBackRoute(&path, route));
  EXPECT_NE(path.points, old);
  EXPECT_EQ(path.capacity, path.count);
  ExpectHolds(path, route);
  EXPECT_EQ(world_.LiveAllocations(), live) << "the old array goes as the new one comes";
  EXPECT_EQ(reinterpret_cast<uintptr_t>(path.points) % 16, 0u);
}

TEST_F(WriteBack, WithoutTheEngineAllocatorOnlyARouteThatFitsIsWritten) {
  world_.SetEngineAllocatorEnabled(false);
  sim::NavPath& path = Find(0);
  const aps::Route engine(path.points, path.points + path.count);
  EXPECT_FALSE(game::WriteBackRoute(&path, Route(engine.size() + 1)));
  ExpectHolds(path, engine);
  EXPECT_TRUE(game::WriteBackRoute(&path, Route(engine.size())));

  host::SetHost(nullptr);  // no host at all: the same
  world_.SetEngineAllocatorEnabled(true);
  EXPECT_FALSE(game::WriteBackRoute(&path, Route(engine.size() + 1)));
  host::SetHost(&world_);
}

TEST_F(WriteBack, ArraysTheEngineWouldNotHaveMadeAreLeftAlone) {
  sim::NavPath& path = Find(4);
  const sim::NavPath good = path;
  auto refused = [&](auto&& spoil, size_t points) {
    spoil(path);
    const sim::NavPath before = path;
    EXPECT_FALSE(game::WriteBackRoute(&path, Route(points)));
    EXPECT_EQ(path.points, before.points);
    EXPECT_EQ(path.count, before.count);
    EXPECT_EQ(path.capacity, before.capacity);
    path.points = good.points;
    path.count = good.count;
    path.capacity = good.capacity;
  };
  refused([](sim::NavPath& p) { p.points = nullptr; }, 2);
  refused([](sim::NavPath& p) { p.count = 0; }, 2);
  refused([](sim::NavPath& p) { p.count = -3; }, 2);
  refused([](sim::NavPath& p) { p.count = p.capacity = 100000; }, 2);
  refused([](sim::NavPath& p) { p.capacity = p.count - 1; }, 2);
  refused([](sim::NavPath&) {}, 0);  // an empty route
  EXPECT_FALSE(game::WriteBackRoute(nullptr, Route(2)));
}

}  // namespace
}  // namespace kvr
