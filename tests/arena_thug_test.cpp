// Thugs of the living arena: they plan through whatever sits in the navmesh's FindPath slot,
// as the engine's path following does, walk the points the path object holds afterwards, and
// steer around each other when their movement component's RVO avoidance is on.
#include <cmath>
#include <cstring>
#include <thread>

#include "arena_fixture.h"
#include "sim/arena/arena_support.h"
#include "sim/path_finding.h"

namespace kvr::sim {
namespace {

using test::ArenaTest;
using test::StillRules;

struct QueryRecord {
  int32_t owner;
  int32_t navData;
  std::thread::id thread;
};
std::vector<QueryRecord> g_queries;  // written by the slot doubles, on the frame's thread

PathResult* RecordingFindPath(PathResult* result, const AgentProperties* agent,
                              const PathQuery* query) {
  g_queries.push_back({query->ownerIndex, query->navDataId, std::this_thread::get_id()});
  return EngineFindPath(result, agent, query);
}

// Every route the engine finds is bent through one fixed point, the way the mod rewrites a
// path object: a larger point array from the engine allocator, the old one freed.
constexpr aps::Vec3 kDetour{-250.0f, 1800.0f, 0.0f};

PathResult* BendingFindPath(PathResult* result, const AgentProperties* agent,
                            const PathQuery* query) {
  EngineFindPath(result, agent, query);
  NavPath* path = result->path;
  if (result->result != kPathSuccess || !path || path->count < 2) return result;
  auto* points =
      static_cast<aps::NavPoint*>(path->world->EngineMalloc(3 * sizeof(aps::NavPoint), 16));
  points[0] = path->points[0];
  points[1] = aps::NavPoint{};
  points[1].location = kDetour;
  points[2] = path->points[path->count - 1];
  path->world->Free(path->points);
  path->points = points;
  path->count = path->capacity = 3;
  return result;
}

int QueriesBy(int32_t owner) {
  int n = 0;
  for (const QueryRecord& q : g_queries) n += q.owner == owner ? 1 : 0;
  return n;
}

TEST_F(ArenaTest, ThugsPlanThroughTheSlotOnTheGameThreadAtTheirReplanMoments) {
  ArenaRules rules = StillRules();
  rules.replanSeconds = 60;  // only a moving goal makes a plan
  auto arena = Start(rules, 4);
  ASSERT_TRUE(arena);
  g_queries.clear();
  SetNavSlot(arena->NavMeshObject(), 0, reinterpret_cast<void*>(&RecordingFindPath));
  arena->Run(rules.replanMinSeconds + 0.5);
  const int32_t navmesh = world_.GetInternalIndex(arena->NavMeshObject());
  std::vector<int32_t> controllers;
  for (const ArenaThug& t : arena->Thugs())
    controllers.push_back(world_.GetInternalIndex(t.controller));
  for (int32_t c : controllers) EXPECT_EQ(QueriesBy(c), 1) << "each thug plans once, first thing";
  for (const QueryRecord& q : g_queries) {
    EXPECT_EQ(q.navData, navmesh);
    EXPECT_EQ(q.thread, std::this_thread::get_id());
  }
  EXPECT_EQ(arena->Stats().pathQueries, g_queries.size());

  // The player stands still: nobody plans again.
  arena->Run(5.0);
  for (int32_t c : controllers) EXPECT_EQ(QueriesBy(c), 1);
  // It moves: every goal slot moves with it, and every thug plans afresh.
  const aps::Vec3 p = arena->Player().position;
  arena->PlacePlayer({p.x - 1500.0f, p.y - 600.0f, p.z}, 0.0f);
  arena->Run(rules.replanMinSeconds + 0.1);
  for (int32_t c : controllers) EXPECT_EQ(QueriesBy(c), 2);
}

TEST_F(ArenaTest, AThugThatCannotArriveReplansOnItsTimer) {
  ArenaRules rules = StillRules();
  for (ThugClassRules& c : rules.thugs) c.speed = 0;
  rules.frameSeconds = 1.0f / 32;  // exact, so timers land on whole frames
  rules.replanSeconds = 1.0f;
  rules.replanMinSeconds = 0.5f;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  g_queries.clear();
  SetNavSlot(arena->NavMeshObject(), 0, reinterpret_cast<void*>(&RecordingFindPath));
  arena->Run(1.5);  // the first plan, whenever its staggered timer allows
  const size_t first = g_queries.size();
  arena->Run(5.0);
  EXPECT_EQ(g_queries.size() - first, 5u);
}

// A thug far from its slot lets the slot drift by a share of that distance before it plans
// again; a token holder close to the player and in its sight walks straight at it, unplanned.
TEST_F(ArenaTest, FarThugsToleratePlayerStepsAndCloseAttackersNeedNoRoute) {
  ArenaRules rules = StillRules();
  for (ThugClassRules& c : rules.thugs) c.speed = 0;
  rules.replanSeconds = 60;
  rules.goalMoveDistance = 300;
  rules.goalMoveFraction = 0.5f;
  rules.closeInDistance = 600;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  g_queries.clear();
  SetNavSlot(arena->NavMeshObject(), 0, reinterpret_cast<void*>(&RecordingFindPath));
  const aps::Vec3 player{-900, 700, 0};
  arena->PlacePlayer(player, 0.0f);
  // 1600 from its slot (waitRadius 1200 along +x from the player): it tolerates 800.
  arena->PlaceThug(0, {player.x + rules.waitRadius + 1600, player.y, 0});
  arena->Run(rules.replanMinSeconds + 0.1);
  ASSERT_EQ(g_queries.size(), 1u);
  arena->PlacePlayer({player.x, player.y + 600, 0}, 0.0f);
  arena->Run(rules.replanMinSeconds + 0.1);
  EXPECT_EQ(g_queries.size(), 1u) << "the slot moved 600 of the 800 it tolerates";
  arena->PlacePlayer({player.x, player.y - 1000, 0}, 0.0f);
  arena->Run(rules.replanMinSeconds + 0.1);
  EXPECT_EQ(g_queries.size(), 2u);
}

TEST_F(ArenaTest, ATokenHolderCloseToThePlayerWalksStraightAtItWithoutPlanning) {
  ArenaRules rules = StillRules();
  rules.replanSeconds = 60;
  rules.tokenCount = 1;
  rules.closeInDistance = 600;
  rules.meleeChunks = 0;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  const aps::Vec3 player{-900, 700, 0};
  arena->PlacePlayer(player, 0.0f);
  arena->PlaceThug(0, {player.x + 1000, player.y, 0});
  arena->Run(rules.replanMinSeconds + 0.5);
  const ArenaThug& thug = arena->Thugs()[0];
  ASSERT_TRUE(thug.token);
  g_queries.clear();
  SetNavSlot(arena->NavMeshObject(), 0, reinterpret_cast<void*>(&RecordingFindPath));
  // The player steps aside again and again; the attacker follows without a new route.
  for (int i = 0; i < 4; ++i) {
    arena->PlacePlayer({player.x, player.y + (i % 2 ? 200.0f : -200.0f), 0}, 0.0f);
    arena->Run(rules.replanMinSeconds + 0.1);
    EXPECT_TRUE(thug.closingIn);
  }
  EXPECT_TRUE(g_queries.empty());
  EXPECT_LT(FloorDistance(thug.position, arena->Player().position), rules.attackRadius + 60);
  // Far away again, it asks for a route.
  arena->PlacePlayer({player.x - 1500, player.y, 0}, 0.0f);
  arena->Run(rules.replanMinSeconds + 0.1);
  EXPECT_FALSE(thug.closingIn);
  EXPECT_EQ(g_queries.size(), 1u);
}

// Where the thug walks, sampled every frame.
float ClosestApproach(World& world, Arena& arena, size_t thug, const aps::Vec3& point,
                      double seconds) {
  float closest = 1e9f;
  const int id = world.AddFrameHook([&](World&, double) {
    closest = std::min(closest, FloorDistance(arena.Thugs()[thug].position, point));
  });
  arena.Run(seconds);
  world.RemoveFrameHook(id);
  return closest;
}

TEST_F(ArenaTest, ThugsWalkTheRouteThePathObjectHoldsAfterTheSlotReturns) {
  ArenaRules rules = StillRules();
  rules.replanSeconds = 60;
  const auto stage = [&](Arena& arena) {
    arena.PlacePlayer({800, 1000, 0}, 0.0f);  // facing away from the thug
    arena.PlaceThug(0, {-2000, 1000, 0});
  };
  auto plain = Start(rules, 1);
  ASSERT_TRUE(plain);
  stage(*plain);
  EXPECT_GT(ClosestApproach(world_, *plain, 0, kDetour, 11.0), 500.0f)
      << "the engine's route runs straight along y = 1000";

  plain.reset();
  auto bent = Start(rules, 1);
  ASSERT_TRUE(bent);
  SetNavSlot(bent->NavMeshObject(), 0, reinterpret_cast<void*>(&BendingFindPath));
  stage(*bent);
  EXPECT_LT(ClosestApproach(world_, *bent, 0, kDetour, 11.0), rules.arriveDistance + 5.0f);
  const ArenaThug& thug = bent->Thugs()[0];
  ASSERT_EQ(thug.route.size(), 3u);
  EXPECT_EQ(thug.route[1].x, kDetour.x);
  EXPECT_EQ(thug.route[1].y, kDetour.y);
  EXPECT_LT(FloorDistance(thug.position, thug.route[2]), 2 * rules.arriveDistance)
      << "and then on to its goal";
  EXPECT_EQ(world_.BadFrees(), 0);
}

struct PackWalk {
  float travelled = 0;  // mean distance walked per thug
  float spacing = 0;    // mean distance to the nearest other thug, over every frame
  std::vector<aps::Vec3> end;
};

// Six thugs that appear at one spawn point walk off towards a player far away.
PackWalk WalkPack(const ArenaRules& rules, bool avoidance) {
  World world;
  const GameClasses game = RegisterGameClasses(world);
  Level level = test::Arena().level;
  level.spawns = {{-2700, 0, 0}};
  ArenaSetup setup{&level, &test::Arena().mesh, rules, 6, 3};
  std::string error;
  auto arena = Arena::Create(world, game, setup, error);
  EXPECT_TRUE(arena) << error;
  if (!arena) return {};
  arena->PlacePlayer({1500, -1500, 0}, 0.0f);
  if (avoidance) {
    // What the mod does: the engine's own function switches RVO avoidance on.
    for (const ArenaThug& t : arena->Thugs()) {
      host::UFunction* set =
          world.GetFunctionByNameInChain(t.body.movement, L"SetAvoidanceEnabled");
      alignas(16) unsigned char params[64] = {};
      params[0] = 1;
      world.ProcessEvent(t.body.movement, set, params);
    }
  }
  std::vector<aps::Vec3> last;
  for (const ArenaThug& t : arena->Thugs()) last.push_back(t.position);
  PackWalk walk;
  int samples = 0;
  world.AddFrameHook([&](World&, double) {
    const auto& thugs = arena->Thugs();
    for (size_t i = 0; i < thugs.size(); ++i) {
      walk.travelled += FloorDistance(last[i], thugs[i].position) / thugs.size();
      last[i] = thugs[i].position;
      float nearest = 1e9f;
      for (size_t j = 0; j < thugs.size(); ++j)
        if (j != i)
          nearest = std::min(nearest, FloorDistance(thugs[i].position, thugs[j].position));
      walk.spacing += nearest;
      ++samples;
    }
  });
  arena->Run(3.0);
  walk.spacing /= static_cast<float>(samples);
  for (const ArenaThug& t : arena->Thugs()) walk.end.push_back(t.position);
  return walk;
}

TEST(ArenaSteering, AvoidanceSpreadsAPackAndCrowdingSlowsIt) {
  ArenaRules rules = StillRules();
  const PackWalk clumped = WalkPack(rules, false);
  const PackWalk spread = WalkPack(rules, true);
  rules.crowdSlowdown = 0;
  const PackWalk unhindered = WalkPack(rules, false);

  bool moved = false;
  for (size_t i = 0; i < clumped.end.size(); ++i)
    moved = moved || FloorDistance(clumped.end[i], spread.end[i]) > 20.0f;
  EXPECT_TRUE(moved) << "avoidance changes where thugs go";
  EXPECT_GT(spread.spacing, clumped.spacing * 1.2f);
  EXPECT_GT(spread.travelled, clumped.travelled) << "spread out, they get in each other's way less";
  EXPECT_GT(unhindered.travelled, clumped.travelled * 1.2f);
}

}  // namespace
}  // namespace kvr::sim
