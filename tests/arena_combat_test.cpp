// Combat and life in the living arena: the player's cone and line of sight, melee on the
// player's health chunks, fear and the attack token, deaths and respawns on the same
// controller, controllers destroyed and replaced (also from another thread), and replays.
#include <cstdio>
#include <set>
#include <thread>

#include "arena_fixture.h"
#include "sim/arena/arena_support.h"

namespace kvr::sim {
namespace {

using test::ArenaTest;
using test::DeleteLog;
using test::ShippedRules;
using test::StillRules;

// Thugs stand where they are put; the player shoots at anything it sees in its cone.
ArenaRules Standing() {
  ArenaRules r = StillRules();
  for (ThugClassRules& c : r.thugs) c.speed = 0;
  r.shotRange = 2500;
  r.fearDecay = 0;
  return r;
}

template <typename T>
T Read(World& world, UObject* object, const wchar_t* name) {
  return *world.Field<T>(object, name);
}

// A pillar stands between (600, -1200) and (1700, -1200); (1600, -900) is in the open.
constexpr aps::Vec3 kShooter{600, -1200, 0};
constexpr aps::Vec3 kBehindPillar{1700, -1200, 0};
constexpr aps::Vec3 kInTheOpen{1600, -900, 0};
constexpr aps::Vec3 kBehindShooter{-300, -1200, 0};

TEST_F(ArenaTest, ThePlayerShootsWhatItSeesInsideItsCone) {
  ArenaRules rules = Standing();
  rules.shotDamage = 10;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  const ArenaThug& thug = arena->Thugs()[0];
  const float full = thug.health;
  arena->PlacePlayer(kShooter, 0.0f);
  arena->PlaceThug(0, kBehindPillar);
  arena->Run(2.0);
  EXPECT_EQ(arena->Stats().shotsFired, 0u) << "in the cone and in range, but out of sight";
  arena->PlaceThug(0, kBehindShooter);
  arena->Run(2.0);
  EXPECT_EQ(arena->Stats().shotsFired, 0u) << "in sight, but behind the player";
  arena->PlaceThug(0, kInTheOpen);
  arena->Run(1.0);
  const uint64_t hits = arena->Stats().shotsHit;
  EXPECT_GE(hits, 2u);
  EXPECT_EQ(hits, arena->Stats().shotsFired);
  EXPECT_FLOAT_EQ(thug.health, full - 10.0f * hits);
  EXPECT_FLOAT_EQ(Read<float>(world_, thug.body.pawn, L"Health"), thug.health);
  EXPECT_FLOAT_EQ(Read<float>(world_, thug.body.pawn, L"CurrentDangerFearValue"),
                  rules.fearPerHit * hits);
  EXPECT_DOUBLE_EQ(arena->Stats().thugDamage, 10.0 * hits);
}

TEST_F(ArenaTest, ThePlayerTurnsTowardsTheNearestThreatAtItsTurnRate) {
  ArenaRules rules = Standing();
  rules.turnRate = 90;
  rules.viewHalfAngle = 180;  // it sees all round
  rules.approachThreat = 0;
  rules.frameSeconds = 1.0f / 32;
  auto arena = Start(rules, 2);
  ASSERT_TRUE(arena);
  arena->PlacePlayer(kShooter, 0.0f);
  arena->PlaceThug(0, {kShooter.x, kShooter.y + 800, 0});  // 90 degrees to its left
  arena->PlaceThug(1, {kShooter.x - 2000, kShooter.y, 0});
  arena->Run(0.5);
  EXPECT_NEAR(arena->Player().yaw, 45.0f, 0.01f);
  arena->Run(1.0);
  EXPECT_NEAR(arena->Player().yaw, 90.0f, 0.01f);
  const auto& rotation = Read<aps::Vec3>(world_, arena->Player().objects.root, L"RelativeRotation");
  EXPECT_NEAR(rotation.y, 90.0f, 0.01f);
  // The camera follows: behind the player, looking its way.
  const auto& view =
      Read<aps::Vec3>(world_, arena->Player().objects.cameraManager, L"ViewLocation");
  EXPECT_NEAR(view.x, kShooter.x, 1.0f);
  EXPECT_NEAR(view.y, kShooter.y - rules.cameraDistance, 1.0f);
  EXPECT_FLOAT_EQ(Read<aps::Vec3>(world_, arena->Player().objects.cameraManager, L"ViewRotation").y,
                  arena->Player().yaw);
}

// Out of its view and out of earshot a thug is no threat; a thug crossing the line of fire is
// hit less often than one standing in it.
TEST_F(ArenaTest, ThePlayerMindsWhatItSeesOrHearsAndMissesThugsThatCrossItsFire) {
  ArenaRules rules = Standing();
  rules.turnRate = 90;
  rules.viewHalfAngle = 70;
  rules.hearingRadius = 500;
  rules.frameSeconds = 1.0f / 32;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  arena->PlacePlayer(kShooter, 0.0f);
  arena->PlaceThug(0, {kShooter.x, kShooter.y + 800, 0});  // 90 degrees to its left
  arena->Run(1.0);
  EXPECT_EQ(arena->Player().yaw, 0.0f) << "unseen and too far to be heard";
  arena->PlaceThug(0, {kShooter.x, kShooter.y + 400, 0});
  arena->Run(0.5);
  EXPECT_NEAR(arena->Player().yaw, 45.0f, 0.01f) << "heard: the player turns to it";

  for (const float dodge : {0.0f, 250.0f}) {
    ArenaRules walking = rules;
    walking.thugs[kBaseThug].speed = walking.thugs[kArmedThug].speed = 400;
    walking.thugs[kBossThug].speed = 400;
    walking.viewHalfAngle = 180;
    walking.turnRate = 3600;  // it keeps the thug in its cone
    walking.hitChance = 1;
    walking.dodgeSpeed = dodge;
    walking.thugs[kBaseThug].health = walking.thugs[kArmedThug].health = 1e5f;
    walking.thugs[kBossThug].health = 1e5f;
    arena.reset();
    arena = Start(walking, 1);
    ASSERT_TRUE(arena);
    // The thug's slot lies waitRadius along +x from the player; it starts across from there,
    // so it walks past the player's side, across the line of fire.
    const aps::Vec3 player{kInTheOpen.x - 1200, kInTheOpen.y + 900, 0};
    arena->PlacePlayer(player, 0.0f);
    arena->PlaceThug(0, {player.x + walking.waitRadius, player.y + 1000, 0});
    arena->Run(2.0);
    const ArenaStats& s = arena->Stats();
    ASSERT_GT(s.shotsFired, 3u);
    if (dodge == 0.0f)
      EXPECT_EQ(s.shotsHit, s.shotsFired);
    else
      EXPECT_LT(s.shotsHit, s.shotsFired * 3 / 4) << s.shotsHit << " of " << s.shotsFired;
  }
}

TEST_F(ArenaTest, ThePlayerPatrolsPausesAtEachPointAndKitesFromThugsThatComeClose) {
  ArenaRules rules = Standing();
  rules.patrolSpeed = 250;
  rules.patrolPauseSeconds = 3;
  rules.kiteSpeed = 300;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  arena->PlaceThug(0, {-2500, 2500, 0});
  const aps::Vec3 corner = test::Arena().level.patrol[0];
  double arrived = -1;
  world_.AddFrameHook([&](World&, double) {
    if (arrived < 0 && FloorDistance(arena->Player().position, corner) <= rules.arriveDistance)
      arrived = arena->Now();
  });
  arena->Run(6.0);
  ASSERT_GT(arrived, 0.0) << "it walked to its first patrol point";
  const aps::Vec3 there = arena->Player().position;
  arena->Run(arrived + rules.patrolPauseSeconds - 0.2 - arena->Now());
  EXPECT_LT(FloorDistance(arena->Player().position, there), 1.0f) << "and stood there";
  arena->Run(1.0);
  EXPECT_GT(FloorDistance(arena->Player().position, there), 100.0f) << "then walked on";

  const aps::Vec3 p = arena->Player().position;
  arena->PlaceThug(0, {p.x, p.y + 150, p.z});
  const float before = FloorDistance(p, arena->Thugs()[0].position);
  arena->Run(0.5);
  EXPECT_GT(FloorDistance(arena->Player().position, arena->Thugs()[0].position), before + 20.0f)
      << "a thug too close makes it back off";
}

TEST_F(ArenaTest, MeleeTakesChunksUntilThePlayerIsDownThenItRespawnsOnItsController) {
  ArenaRules rules = Standing();
  rules.shotRange = 0;
  rules.tokenCount = 1;
  rules.meleeSeconds = 1;
  rules.playerChunks = 3;
  rules.respawnSeconds = 2;
  rules.garbageSeconds = 0.5f;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  DeleteLog log(world_);
  const PlayerObjects first = arena->Player().objects;
  arena->PlacePlayer(kShooter, 0.0f);
  arena->PlaceThug(0, {kShooter.x + 100, kShooter.y, 0});
  arena->Run(0.1);
  EXPECT_TRUE(world_.GetBool(arena->Thugs()[0].body.pawn, L"HasAggroToken"));
  EXPECT_EQ(Read<int32_t>(world_, first.pawn, L"CurrentHealthChunk"), 2);
  arena->Run(2.0);
  EXPECT_TRUE(arena->Player().down);
  EXPECT_EQ(Read<int32_t>(world_, first.pawn, L"CurrentHealthChunk"), 0);
  EXPECT_EQ(arena->Stats().playerChunksLost, 3u);
  EXPECT_EQ(arena->Stats().meleeHits, 3u) << "nobody hits a player that is down";

  arena->Run(3.0);
  const PlayerObjects& now = arena->Player().objects;
  EXPECT_FALSE(arena->Player().down);
  ASSERT_NE(now.pawn, first.pawn);
  EXPECT_EQ(now.controller, first.controller);
  EXPECT_EQ(Read<UObject*>(world_, now.controller, L"Pawn"), now.pawn);
  EXPECT_EQ(Read<UObject*>(world_, now.pawn, L"Controller"), now.controller);
  EXPECT_EQ(Read<int32_t>(world_, now.pawn, L"CurrentHealthChunk"), 3);
  EXPECT_EQ(log.CountOf({first.pawn, first.root, first.movement}), 3u);
  EXPECT_FALSE(log.Has(first.controller));
  EXPECT_EQ(arena->Stats().playerDowns, 1u);
}

TEST_F(ArenaTest, APlayerOutOfReachWinsAChunkBackEveryRecoverSeconds) {
  ArenaRules rules = Standing();
  rules.shotRange = 0;
  rules.tokenCount = 1;
  rules.meleeSeconds = 60;
  rules.recoverSeconds = 1;
  rules.frameSeconds = 1.0f / 32;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  arena->PlacePlayer(kShooter, 0.0f);
  arena->PlaceThug(0, {kShooter.x + 100, kShooter.y, 0});
  arena->Run(0.5);
  const int most = static_cast<int>(rules.playerChunks);
  EXPECT_EQ(arena->Player().chunks, most - 1);
  arena->Run(1.0);
  EXPECT_EQ(arena->Player().chunks, most);
  EXPECT_EQ(arena->Stats().playerRecoveries, 1u);
}

TEST_F(ArenaTest, FearfulThugsGiveTheirTokenUpAndNoMoreThanTheLimitHoldOne) {
  ArenaRules rules = Standing();
  rules.tokenCount = 1;
  rules.shotDamage = 0;
  rules.fearPerHit = 40;  // two hits pass a base thug's threshold of 60
  rules.meleeChunks = 0;
  auto arena = Start(rules, 2);
  ASSERT_TRUE(arena);
  ASSERT_EQ(arena->Thugs()[0].kind, kBaseThug);
  arena->PlacePlayer(kShooter, 0.0f);
  arena->PlaceThug(0, kInTheOpen);
  arena->PlaceThug(1, {kShooter.x - 1500, kShooter.y, 0});
  UObject* front = arena->Thugs()[0].body.pawn;
  UObject* back = arena->Thugs()[1].body.pawn;
  int mostHolders = 0;
  world_.AddFrameHook([&](World& w, double) {
    mostHolders = std::max(mostHolders, int{w.GetBool(front, L"HasAggroToken")} +
                                            int{w.GetBool(back, L"HasAggroToken")});
  });
  arena->Run(0.1);
  EXPECT_TRUE(world_.GetBool(front, L"HasAggroToken")) << "the nearer thug gets it";
  EXPECT_FALSE(world_.GetBool(back, L"HasAggroToken"));
  arena->Run(1.0);
  EXPECT_GE(arena->Thugs()[0].fear, rules.thugs[kBaseThug].fearThreshold);
  EXPECT_FALSE(world_.GetBool(front, L"HasAggroToken"));
  EXPECT_TRUE(world_.GetBool(back, L"HasAggroToken"));
  EXPECT_EQ(mostHolders, 1);
}

TEST_F(ArenaTest, TheTokenLimitHoldsInAFullMatch) {
  ArenaRules rules = ShippedRules();
  auto arena = Start(rules, 8);
  ASSERT_TRUE(arena);
  size_t most = 0;
  world_.AddFrameHook([&](World& w, double) {
    std::vector<UObject*> pawns;
    w.FindAllOf(L"BP_ThugBase_C", pawns);
    size_t holders = 0;
    for (UObject* p : pawns) holders += p && w.GetBool(p, L"HasAggroToken") ? 1 : 0;
    most = std::max(most, holders);
  });
  arena->Run(30.0);
  EXPECT_EQ(most, static_cast<size_t>(rules.tokenCount));
  EXPECT_GT(arena->Stats().shotsHit, 0u);
}

TEST_F(ArenaTest, ADeadThugGetsANewPawnOnTheSameControllerAndItsCorpseIsDestroyed) {
  ArenaRules rules = Standing();
  rules.shotDamage = 1000;
  rules.thugRespawnSeconds = 1;
  rules.garbageSeconds = 0.5f;
  auto arena = Start(rules, 1);
  ASSERT_TRUE(arena);
  DeleteLog log(world_);
  arena->PlacePlayer(kShooter, 0.0f);
  arena->PlaceThug(0, kInTheOpen);
  const ArenaThug& thug = arena->Thugs()[0];
  UObject* controller = thug.controller;
  const CharacterObjects corpse = thug.body;
  arena->Run(0.1);
  EXPECT_EQ(thug.phase, ThugPhase::kDead);
  EXPECT_FALSE(world_.GetBool(corpse.pawn, L"bIsAlive"));
  EXPECT_EQ(Read<float>(world_, corpse.pawn, L"Health"), 0.0f);
  EXPECT_EQ(Read<UObject*>(world_, controller, L"Pawn"), corpse.pawn) << "still possessed";
  EXPECT_EQ(arena->Stats().thugDeaths, 1u);

  arena->Run(1.0);
  ASSERT_EQ(thug.phase, ThugPhase::kAlive);
  EXPECT_EQ(thug.controller, controller);
  ASSERT_NE(thug.body.pawn, corpse.pawn);
  EXPECT_EQ(Read<UObject*>(world_, controller, L"Pawn"), thug.body.pawn);
  EXPECT_TRUE(world_.GetBool(thug.body.pawn, L"bIsAlive"));
  EXPECT_EQ(Read<float>(world_, thug.body.pawn, L"Health"),
            Read<float>(world_, thug.body.pawn, L"MaxHealth"));
  EXPECT_TRUE(world_.IsPendingKill(corpse.pawn));
  std::vector<UObject*> pawns;
  world_.FindAllOf(L"BP_ThugBase_C", pawns);
  EXPECT_EQ(std::count(pawns.begin(), pawns.end(), corpse.pawn), 0) << "gone from the searches";

  arena->Run(0.6);
  EXPECT_EQ(log.CountOf({corpse.pawn, corpse.root, corpse.movement}), 3u);
  EXPECT_FALSE(log.Has(controller));
  EXPECT_EQ(arena->Stats().thugRespawns, 1u);
}

std::set<const UObject*> Controllers(const Arena& arena) {
  std::set<const UObject*> out;
  for (const ArenaThug& t : arena.Thugs())
    if (t.controller) out.insert(t.controller);
  return out;
}

size_t LiveControllers(World& world) {
  std::vector<UObject*> found;
  world.FindAllOf(L"BP_BaseAIController_C", found);  // the other two classes derive from it
  size_t n = 0;
  for (UObject* c : found) n += c && !(world.GetObjectFlags(c) & host::kObjectFlagClassDefault);
  return n;
}

TEST_F(ArenaTest, ControllersComeAndGoAndEveryGoneOneIsDestroyed) {
  ArenaRules rules = ShippedRules();
  rules.controllerChurnPerMinute = 30;
  rules.pawnSwapsPerMinute = 30;
  rules.newControllerSeconds = 1;
  rules.garbageSeconds = 0.5f;
  auto arena = Start(rules, 6);
  ASSERT_TRUE(arena);
  DeleteLog log(world_);
  std::vector<const UObject*> last;
  for (const ArenaThug& t : arena->Thugs()) last.push_back(t.controller);
  uint64_t removals = 0;
  world_.AddFrameHook([&](World&, double) {
    size_t present = 0;
    for (size_t i = 0; i < last.size(); ++i) {
      const ArenaThug& t = arena->Thugs()[i];
      if (last[i] && t.controller != last[i]) {
        // Gone from the searches at once, freed later.
        EXPECT_TRUE(world_.IsPendingKill(last[i]));
        ++removals;
      }
      last[i] = t.controller;
      present += t.phase != ThugPhase::kAbsent;
    }
    EXPECT_EQ(LiveControllers(world_), present);
  });
  arena->Run(30.0);
  const ArenaStats& s = arena->Stats();
  EXPECT_GE(s.controllersRemoved, 5u);
  EXPECT_GE(s.controllersAdded, 4u);
  EXPECT_GE(s.pawnSwaps, 5u);
  EXPECT_EQ(s.foreignDestroys, 0u);
  EXPECT_EQ(removals, s.controllersRemoved);
  const size_t present = Controllers(*arena).size();
  arena.reset();  // destroys what is left, pending or not
  EXPECT_EQ(log.CountOfClass(game_.baseAIController), removals + present)
      << "every controller that went got its delete notice";
}

TEST_F(ArenaTest, ControllersDestroyedFromAnotherThreadAreReplaced) {
  ArenaRules rules = ShippedRules();
  rules.controllerChurnPerMinute = rules.pawnSwapsPerMinute = 0;
  rules.newControllerSeconds = 0.2f;
  auto arena = Start(rules, 6);
  ASSERT_TRUE(arena);
  ASSERT_TRUE(world_.StartGameThread({.frameSeconds = rules.frameSeconds}));
  uint64_t destroyed = 0;
  for (int round = 0; round < 30; ++round) {
    const uint64_t frame = world_.FrameCount();
    while (world_.FrameCount() < frame + 2) std::this_thread::yield();
    std::vector<UObject*> found;
    world_.FindAllOf(L"BP_BaseAIController_C", found);
    for (UObject* c : found) {
      if (c && !(world_.GetObjectFlags(c) & host::kObjectFlagClassDefault) && world_.Destroy(c)) {
        ++destroyed;
        break;
      }
    }
  }
  world_.StopGameThread();
  arena->Run(0.5);  // on this thread now: every successor has come
  EXPECT_GT(destroyed, 5u);
  EXPECT_EQ(arena->Stats().foreignDestroys, destroyed);
  EXPECT_EQ(arena->Stats().controllersRemoved, destroyed);
  EXPECT_EQ(LiveControllers(world_), 6u);
  for (const ArenaThug& t : arena->Thugs()) {
    EXPECT_NE(t.phase, ThugPhase::kAbsent);
    EXPECT_EQ(Read<UObject*>(world_, t.controller, L"Pawn"), t.body.pawn);
  }
}

// Everything a match leaves behind that a seed decides.
std::string PlayMatch(uint64_t seed) {
  World world;
  const GameClasses game = RegisterGameClasses(world);
  ArenaSetup setup{&test::Arena().level, &test::Arena().mesh, ShippedRules(), 8, seed};
  std::string error;
  auto arena = Arena::Create(world, game, setup, error);
  EXPECT_TRUE(arena) << error;
  if (!arena) return error;
  arena->Run(60.0);
  const ArenaStats& s = arena->Stats();
  char text[512];
  std::snprintf(text, sizeof text, "%llu %llu %llu %.3f %llu %llu %llu %llu %llu %llu",
                (unsigned long long)s.pathQueries, (unsigned long long)s.shotsFired,
                (unsigned long long)s.shotsHit, s.thugDamage, (unsigned long long)s.thugDeaths,
                (unsigned long long)s.meleeHits, (unsigned long long)s.playerChunksLost,
                (unsigned long long)s.controllersRemoved, (unsigned long long)s.pawnSwaps,
                (unsigned long long)s.frames);
  std::string out = text;
  for (const ArenaThug& t : arena->Thugs()) {
    std::snprintf(text, sizeof text, " (%.3f %.3f %.1f)", t.position.x, t.position.y, t.health);
    out += text;
  }
  return out;
}

TEST(ArenaReplay, TheSameSeedPlaysTheSameMatch) {
  const std::string first = PlayMatch(5);
  EXPECT_EQ(PlayMatch(5), first);
  EXPECT_NE(PlayMatch(6), first);
}

}  // namespace
}  // namespace kvr::sim
