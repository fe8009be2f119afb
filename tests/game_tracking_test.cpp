// Thug and player tracking through the simulated engine: discovery, pawn changes, bosses, the
// state refresh with damage credit and spacing, and the delete listener.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "game/thug_tracking.h"
#include "game_fixture.h"

namespace kvr {
namespace {

class Tracking : public test::GameFixture {};

int32_t TotalUsers(const tactics::Brain& brain) {
  int32_t users = 0;
  for (const tactics::Genome& g : brain.genomes) users += g.users;
  return users;
}

TEST_F(Tracking, ControllersOfEveryClassAreTrackedOnceEach) {
  mod::ModRuntime& rt = Start();
  // An armed controller is also a base one, a boss controller all three: found two and three
  // times by the class searches.
  const auto base = Thug(L"Base", {100, 0, 0});
  const auto armed = Thug(L"Armed", {200, 0, 0}, classes_.armedAIController, classes_.armedThug);
  const auto boss = Thug(L"Boss", {300, 0, 0}, classes_.bossAIController, classes_.bossThug);
  world_.SetNullsInFindAllOf(true);
  Discover();
  ASSERT_EQ(rt.game.thugs.size(), 3u);
  EXPECT_EQ(TotalUsers(rt.brain), 3) << "each controller took one genome";
  EXPECT_EQ(Record(armed).pawnClassName, "BP_ArmedThug_C");
  EXPECT_EQ(Record(boss).pawnClassName, "BP_BossThug_C");
  EXPECT_TRUE(Record(boss).isBoss);
  EXPECT_FALSE(Record(boss).excluded) << "AffectBosses is 1";
  EXPECT_FALSE(Record(base).isBoss);
  const game::TrackedThug& b = Record(base);
  EXPECT_EQ(b.controllerIndex, world_.GetInternalIndex(base.controller));
  EXPECT_EQ(rt.game.controllerByIndex.at(b.controllerIndex), base.controller);
  EXPECT_FLOAT_EQ(b.position.x, 100.0f);
  EXPECT_FLOAT_EQ(b.health, 100.0f);
  EXPECT_TRUE(b.alive);
  for (const auto* object : {base.controller, base.pawn, base.movement})
    EXPECT_EQ(rt.game.watched.count(object), 1u);
  Discover();
  EXPECT_EQ(rt.game.thugs.size(), 3u);
  EXPECT_EQ(TotalUsers(rt.brain), 3);
}

TEST_F(Tracking, NavmeshesAreRecordedWhileEnabledAndDroppedWhenDestroyed) {
  Settings s;
  s.Enabled = false;
  mod::ModRuntime& rt = Start(s);
  void* const slots[sim::kNavSlotCount] = {};
  host::UObject* navmesh =
      sim::SpawnNavMesh(world_, classes_, L"RecastNavMesh-Default", slots, {50, 50, 250});
  Discover();
  EXPECT_TRUE(rt.game.navmeshes.empty()) << "the master switch is off";
  s.Enabled = true;
  Publish(s);
  Discover();
  ASSERT_EQ(rt.game.navmeshes.size(), 1u) << "the class default navmesh is not one";
  const game::NavMeshRecord& record = rt.game.navmeshes.begin()->second;
  EXPECT_EQ(record.navmesh, navmesh);
  EXPECT_EQ(record.id, world_.GetInternalIndex(navmesh));
  EXPECT_EQ(rt.game.watched.count(navmesh), 1u);
  world_.Destroy(navmesh);
  EXPECT_TRUE(rt.game.navmeshes.empty());
  EXPECT_EQ(rt.game.watched.count(navmesh), 0u);
}

TEST_F(Tracking, PawnlessControllersAndPawnChanges) {
  mod::ModRuntime& rt = Start(Verbose());
  const auto thug = Thug(L"T", {0, 0, 0});
  host::UObject* pawn = thug.pawn;
  *world_.Field<host::UObject*>(thug.controller, L"Pawn") = nullptr;
  Discover();
  EXPECT_FALSE(Tracked(thug)) << "no pawn, no record";

  *world_.Field<host::UObject*>(thug.controller, L"Pawn") = pawn;
  Discover();
  ASSERT_TRUE(Tracked(thug));
  game::TrackedThug& t = Record(thug);
  const int32_t genome = t.genomeIndex;
  t.episodeCount = 4;
  OpenEpisode(t, 1, 99, {0, 0, 0}, 0.0f, 100.0f, rt.game.lastUpdate);
  ASSERT_TRUE(t.avoidanceApplied);

  *world_.Field<host::UObject*>(thug.controller, L"Pawn") = nullptr;
  Discover();
  ASSERT_TRUE(Tracked(thug)) << "the record stays with its controller";
  EXPECT_EQ(t.pawn, nullptr);
  EXPECT_EQ(t.movement, nullptr);
  EXPECT_FALSE(t.avoidanceApplied);
  EXPECT_FALSE(t.episodeActive);
  EXPECT_EQ(t.episodeCount, 5);
  EXPECT_EQ(t.genomeIndex, genome);
  EXPECT_EQ(Count("episode new pawn: BP_ThugBase_C style=Arc Left progress=0.00 dmg=0.00 "
                  "hits=0.00 spacing=1.00 -> reward 0.593 (loss 0.0000)"),
            1);

  // A new pawn on the same controller (a respawn).
  const auto second = Thug(L"Second", {500, 0, 0});
  *world_.Field<host::UObject*>(thug.controller, L"Pawn") = second.pawn;
  Discover();
  EXPECT_EQ(t.pawn, second.pawn);
  EXPECT_FLOAT_EQ(t.position.x, 500.0f);
  EXPECT_EQ(t.movement, second.movement);
  EXPECT_EQ(rt.game.watched.count(second.pawn), 1u);
}

TEST_F(Tracking, ControllerGoneEndsTheEpisodeAndReleasesTheGenome) {
  mod::ModRuntime& rt = Start(Verbose());
  const auto thug = Thug(L"T", {0, 0, 0});
  Discover();
  game::TrackedThug& t = Record(thug);
  const int32_t index = t.controllerIndex;
  OpenEpisode(t, 2, 99, {0, 0, 0}, 0.0f, 100.0f, rt.game.lastUpdate);
  HideFromSearches(thug.controller);
  Discover();
  EXPECT_FALSE(Tracked(thug));
  EXPECT_EQ(rt.game.controllerByIndex.count(index), 0u);
  EXPECT_EQ(TotalUsers(rt.brain), 0);
  EXPECT_EQ(Count("episode controller gone: BP_ThugBase_C style=Arc Right progress=0.00 "
                  "dmg=0.00 hits=0.00 spacing=1.00 -> reward 0.593 (loss 0.0000)"),
            1);
}

TEST_F(Tracking, BossesKeepEngineAvoidanceWhileAffectBossesIsOff) {
  mod::ModRuntime& rt = Start();
  const auto boss = Thug(L"Boss", {0, 0, 0}, classes_.bossAIController, classes_.bossThug);
  Discover();
  ASSERT_TRUE(Record(boss).avoidanceApplied);
  EXPECT_TRUE(world_.GetBool(boss.movement, L"bUseRVOAvoidance"));

  Settings s;
  s.AffectBosses = false;
  Publish(s);
  Discover();
  const game::TrackedThug& t = Record(boss);
  EXPECT_TRUE(t.excluded);
  EXPECT_FALSE(t.avoidanceApplied);
  EXPECT_FALSE(world_.GetBool(boss.movement, L"bUseRVOAvoidance")) << "restored to the original";
  EXPECT_FLOAT_EQ(*world_.Field<float>(boss.movement, L"AvoidanceConsiderationRadius"), 500.0f);
  (void)rt;
}

TEST_F(Tracking, ThugStateFollowsThePawn) {
  Start();
  const auto thug = Thug(L"T", {0, 0, 0});
  Discover();
  game::TrackedThug& t = Record(thug);
  // MaxHealth 0 is not a maximum: the earlier one stays.
  *world_.Field<float>(thug.pawn, L"MaxHealth") = 0.0f;
  SetHealth(thug, 40.0f);
  Place(thug.root, {10, 20, 30});
  Tick(2);
  EXPECT_FLOAT_EQ(t.maxHealth, 100.0f);
  EXPECT_FLOAT_EQ(t.health, 40.0f);
  EXPECT_FLOAT_EQ(t.position.y, 20.0f);
  EXPECT_TRUE(t.alive);
  // Alive by flag but out of health counts as dead.
  SetHealth(thug, 0.0f);
  Tick(2);
  EXPECT_FALSE(t.alive);
  SetHealth(thug, 50.0f);
  SetAlive(thug, false);
  Tick(2);
  EXPECT_FALSE(t.alive);
  SetAlive(thug, true);
  Tick(2);
  EXPECT_TRUE(t.alive);
}

TEST_F(Tracking, LostHealthChunksAreSharedByTheThugsInRangeOnly) {
  Settings s;
  s.PlayerHitRadius = 300.0f;
  mod::ModRuntime& rt = Start(s);
  const auto player = Player({0, 0, 0});
  // In range horizontally, whatever the height; the third is just outside, the fourth is near
  // but has no running episode.
  const auto a = Thug(L"A", {250, 0, 0});
  const auto b = Thug(L"B", {0, -290, 5000});
  const auto c = Thug(L"C", {0, 301, 0});
  const auto d = Thug(L"D", {10, 10, 0});
  Discover();
  ASSERT_EQ(rt.game.player.pawn, player.pawn);
  const double now = rt.game.lastUpdate;
  for (const auto* t : {&a, &b, &c}) OpenEpisode(Record(*t), 0, 0, {0, 0, 0}, 0, 100, now);
  Tick(2);
  EXPECT_EQ(rt.game.player.healthChunkBaseline, 5);

  SetChunks(player, 2);
  Tick(2);
  EXPECT_FLOAT_EQ(Record(a).playerHitSum, 1.5f);
  EXPECT_FLOAT_EQ(Record(b).playerHitSum, 1.5f);
  EXPECT_FLOAT_EQ(Record(c).playerHitSum, 0.0f);
  EXPECT_FLOAT_EQ(Record(d).playerHitSum, 0.0f);
  EXPECT_EQ(rt.game.player.healthChunkBaseline, 2);

  // Recovery raises the baseline without credit; a loss with nobody in range credits nothing
  // but still lowers the baseline.
  SetChunks(player, 4);
  Tick(2);
  EXPECT_EQ(rt.game.player.healthChunkBaseline, 4);
  for (const auto* t : {&a, &b}) Place(t->root, {3000, 3000, 0});
  Tick(2);  // credit goes by the positions of the last refresh
  SetChunks(player, 1);
  Tick(2);
  EXPECT_EQ(rt.game.player.healthChunkBaseline, 1);
  EXPECT_FLOAT_EQ(Record(a).playerHitSum, 1.5f);
  EXPECT_FLOAT_EQ(Record(c).playerHitSum, 0.0f);
}

TEST_F(Tracking, SpacingSamplesCountTheNearestLiveThug) {
  Settings s;
  s.SpacingDistance = 120.0f;
  mod::ModRuntime& rt = Start(s);
  const auto a = Thug(L"A", {0, 0, 0});
  const auto b = Thug(L"B", {100, 0, 0});
  Discover();
  game::TrackedThug& t = Record(a);
  OpenEpisode(t, 0, 0, {0, 0, 0}, 0, 100, rt.game.lastUpdate);
  Tick(4, 0.11);
  EXPECT_EQ(t.spacingSamples, 4u);
  EXPECT_EQ(t.spacedSamples, 0u) << "B stands 100 cm away";
  SetAlive(b, false);  // a dead neighbour does not crowd
  Tick(4, 0.11);
  EXPECT_EQ(t.spacingSamples, 8u);
  EXPECT_GE(t.spacedSamples, 3u);
}

TEST_F(Tracking, PlayerRespawnResetsTheBaselineAndTheCamera) {
  mod::ModRuntime& rt = Start();
  const auto first = Player({0, 0, 0});
  Discover();
  ASSERT_EQ(rt.game.player.pawn, first.pawn);
  rt.game.player.cameraManager = first.cameraManager;
  Tick(2);
  EXPECT_EQ(rt.game.player.healthChunkBaseline, 5);
  world_.Destroy(first.pawn);
  EXPECT_EQ(rt.game.player.pawn, nullptr) << "the delete listener clears the cache";
  const auto second = sim::SpawnPlayer(world_, classes_, L"Player2", {0, 0, 0});
  SetChunks(second, 3);
  Discover();
  EXPECT_EQ(rt.game.player.pawn, second.pawn);
  EXPECT_EQ(rt.game.player.cameraManager, nullptr);
  EXPECT_EQ(rt.game.player.healthChunkBaseline, 3) << "read afresh, no credit for the change";
}

TEST_F(Tracking, DeleteListenerDropsThugPartsAsTheyGo) {
  mod::ModRuntime& rt = Start(Verbose());
  const auto a = Thug(L"A", {0, 0, 0});
  const auto b = Thug(L"B", {500, 0, 0});
  Discover();
  game::TrackedThug& ta = Record(a);
  OpenEpisode(ta, 3, 99, {0, 0, 0}, 0.0f, 100.0f, rt.game.lastUpdate);
  ASSERT_TRUE(ta.avoidanceApplied);

  world_.Destroy(a.movement);
  EXPECT_EQ(ta.movement, nullptr);
  EXPECT_FALSE(ta.avoidanceApplied);
  EXPECT_TRUE(ta.episodeActive) << "a lost component does not end the episode";

  world_.Destroy(a.pawn);
  *world_.Field<host::UObject*>(a.controller, L"Pawn") = nullptr;  // as the engine unpossesses
  EXPECT_EQ(ta.pawn, nullptr);
  EXPECT_FALSE(ta.episodeActive);
  EXPECT_EQ(Count("episode pawn destroyed: BP_ThugBase_C style=Wide Left progress=0.00 "
                  "dmg=0.00 hits=0.00 spacing=1.00 -> reward 0.593 (loss 0.0000)"),
            1);

  game::TrackedThug& tb = Record(b);
  const int32_t index = tb.controllerIndex;
  OpenEpisode(tb, 4, 99, {500, 0, 0}, 0.0f, 100.0f, rt.game.lastUpdate);
  world_.Destroy(b.controller);
  EXPECT_FALSE(Tracked(b));
  EXPECT_EQ(rt.game.controllerByIndex.count(index), 0u);
  EXPECT_EQ(rt.game.watched.count(b.controller), 0u);
  EXPECT_EQ(Count("episode controller destroyed: BP_ThugBase_C style=Wide Right progress=0.00 "
                  "dmg=0.00 hits=0.00 spacing=1.00 -> reward 0.593 (loss 0.0000)"),
            1);
  Tick(3);  // the update goes on with what is left
  EXPECT_TRUE(Tracked(a));
}

// Thugs come and go on another thread while the game thread updates. A pointer the mod kept
// past its object's deletion notice would be read after the engine freed the memory (the
// sanitizer build reports it); at the end only the thug that stayed is left.
TEST_F(Tracking, DeletionsFromAnotherThreadWhileTheGameThreadUpdates) {
  mod::ModRuntime& rt = StartMod();  // the game thread started below is the first to tick
  rt_ = &rt;
  const auto player = Player({0, 0, 0});
  const auto stay = Thug(L"Stay", {50, 50, 0});
  // Possession changes on the game thread, as in the engine; deletion on the churn thread.
  std::mutex possessLock;
  std::vector<std::pair<host::UObject*, host::UObject*>> possess;
  world_.AddFrameHook([&](sim::World& w, double) {
    std::lock_guard<std::mutex> lock(possessLock);
    for (const auto& [controller, pawn] : possess)
      *w.Field<host::UObject*>(controller, L"Pawn") = pawn;
    possess.clear();
  });
  auto waitFrames = [&](uint64_t n) {
    const uint64_t until = world_.FrameCount() + n;
    while (world_.FrameCount() < until) std::this_thread::yield();
  };
  auto possessAndWait = [&](host::UObject* controller, host::UObject* pawn) {
    {
      std::lock_guard<std::mutex> lock(possessLock);
      possess.emplace_back(controller, pawn);
    }
    waitFrames(2);
  };
  size_t mostTracked = 0;
  ASSERT_TRUE(world_.StartGameThread({.frameSeconds = 0.05}));
  std::thread churn([&] {
    for (int round = 0; round < 60; ++round) {
      const auto t = Thug(L"Churn" + std::to_wstring(round), {round * 10.0f, 0, 0});
      waitFrames(1 + round % 9);
      {
        std::lock_guard<std::mutex> lock(rt.stateLock);
        mostTracked = std::max(mostTracked, rt.game.thugs.size());
      }
      if (round % 3 == 0) {
        // A respawn: a new pawn on the same controller, then the old pawn goes.
        // Possessing takes the pawn from the controller it was spawned with, as in the engine:
        // no live controller is left pointing at a pawn that is destroyed later.
        const auto next = Thug(L"Next" + std::to_wstring(round), {0, round * 10.0f, 0});
        {
          std::lock_guard<std::mutex> lock(possessLock);
          possess.emplace_back(next.controller, nullptr);
        }
        possessAndWait(t.controller, next.pawn);
        sim::DestroyThug(world_, {nullptr, t.pawn, t.root, t.movement});
        waitFrames(12);
        sim::DestroyThug(world_, {t.controller, next.pawn, next.root, next.movement});
        world_.Destroy(next.controller);
      } else if (round % 3 == 1) {
        // A death: the pawn is unpossessed and goes part by part, the controller later.
        possessAndWait(t.controller, nullptr);
        world_.Destroy(t.pawn);
        world_.Destroy(t.movement);
        world_.Destroy(t.root);
        waitFrames(round % 5);
        world_.Destroy(t.controller);
      } else {
        sim::DestroyThug(world_, t);  // controller first
      }
    }
  });
  churn.join();
  const uint64_t frames = world_.FrameCount();
  while (world_.FrameCount() < frames + 20) std::this_thread::yield();
  world_.StopGameThread();
  std::lock_guard<std::mutex> lock(rt.stateLock);
  EXPECT_GE(mostTracked, 2u) << "churned thugs were tracked";
  for (const auto* object : rt.game.watched) EXPECT_TRUE(world_.IsAlive(object));
  ASSERT_EQ(rt.game.thugs.size(), 1u);
  EXPECT_EQ(rt.game.thugs.begin()->first, stay.controller);
  EXPECT_EQ(TotalUsers(rt.brain), 1);
  EXPECT_EQ(rt.game.controllerByIndex.size(), 1u);
  EXPECT_EQ(rt.game.player.pawn, player.pawn);
}

}  // namespace
}  // namespace kvr
