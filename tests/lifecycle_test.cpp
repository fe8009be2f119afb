// The mod's lifecycle driven the way the game drives it: ReceiveTick through ProcessEvent on a
// simulated engine, object deletion and the object array's shutdown.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "mod/lifecycle.h"
#include "mod/mod.h"
#include "mod/mod_runtime.h"
#include "mod_fixture.h"
#include "platform/text.h"
#include "settings/config_ini.h"
#include "sim/forwarding_host.h"
#include "sim/game_classes.h"

namespace kvr {
namespace {

class Lifecycle : public test::ModFixture {};

TEST_F(Lifecycle, StartUpWritesConfigLogsThreeLinesAndASecondStartReadsThem) {
  mod_ = std::make_unique<mod::KorvathPalimarNeuralNav>();
  mod::ModRuntime& rt = mod::ModRuntime::Get();
  Tick(3);  // before start-up every tick is ignored, not even counted
  EXPECT_EQ(rt.tickGate.callsWhileUnknown.load(), 0u);
  EXPECT_EQ(rt.game.updatesRun, 0u);

  mod::StartUp(rt, dir_.Path().wstring());
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "[KorvathNeuralNav] v1.0.1 by Dunmere (Halvenor) - config.ini not found - using "
            "defaults; wrote a "
            "fresh documented config.ini\n");
  EXPECT_EQ(lines[1], "[KorvathNeuralNav] fresh brain (no saved brain yet)\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      lines[2], m,
      std::regex(
          R"(\[KorvathNeuralNav\] game code section 0x([0-9A-F]+)\.\.0x([0-9A-F]+); waiting for a level\n)")));
  EXPECT_LT(std::stoull(m[1], nullptr, 16), std::stoull(m[2], nullptr, 16));
  EXPECT_EQ(test::ReadFile(dir_.File("config.ini")), BuildConfigIniText(Settings{}));
  EXPECT_EQ(host_.addListenerCalls.load(), 1);

  Tick(1);  // the first call finds "ReceiveTick" and runs nothing
  EXPECT_NE(rt.tickGate.receiveTickIndex.load(), 0u);
  EXPECT_EQ(rt.game.updatesRun, 0u);
  Tick(2);
  const uint64_t ran = rt.game.updatesRun;
  EXPECT_GE(ran, 1u);

  mod_.reset();  // shutdown saves the brain ("exit") and unregisters the listener
  EXPECT_EQ(host_.removeListenerCalls.load(), 1);
  ASSERT_TRUE(std::filesystem::exists(dir_.File("brain.kvrb")));

  mod::ModRuntime& again = StartMod();
  EXPECT_NE(&again, &rt);
  const auto second = Lines();
  ASSERT_EQ(second.size(), 6u);
  EXPECT_EQ(second[3],
            "[KorvathNeuralNav] v1.0.1 by Dunmere (Halvenor) - config.ini: 62 settings read, 0 "
            "missing (defaults "
            "used), 0 unreadable (defaults used); all clamped to their documented ranges\n");
  EXPECT_EQ(second[4], "[KorvathNeuralNav] loaded brain.kvrb: 0 episodes, generation 0\n");
  Tick(5);
  EXPECT_EQ(rt.game.updatesRun, ran) << "the first runtime's callback stays registered but idle";
}

TEST_F(Lifecycle, ReceiveTickIsLookedUpOnlyOnCalls1And1025And2049) {
  sim::World bare;  // no game classes: the name "ReceiveTick" does not exist yet
  sim::ForwardingHost counting(bare);
  host::SetHost(&counting);
  mod_ = std::make_unique<mod::KorvathPalimarNeuralNav>();
  mod::ModRuntime& rt = mod::ModRuntime::Get();
  mod::StartUp(rt, dir_.Path().wstring());
  auto* anyFunction = reinterpret_cast<host::UFunction*>(&bare);
  mod::TickEntry(rt, nullptr, nullptr, nullptr);  // a null function is not even counted
  EXPECT_EQ(rt.tickGate.callsWhileUnknown.load(), 0u);
  for (int call = 1; call <= 2049; ++call) mod::TickEntry(rt, nullptr, anyFunction, nullptr);
  EXPECT_EQ(counting.findNameCalls.load(), 3);
  bare.Names().Add(L"ReceiveTick");
  for (int call = 2050; call <= 3072; ++call) mod::TickEntry(rt, nullptr, anyFunction, nullptr);
  EXPECT_EQ(rt.tickGate.receiveTickIndex.load(), 0u);
  mod::TickEntry(rt, nullptr, anyFunction, nullptr);  // call 3073
  EXPECT_EQ(counting.findNameCalls.load(), 4);
  EXPECT_EQ(rt.tickGate.receiveTickIndex.load(), bare.Names().Find(L"ReceiveTick"));
  EXPECT_EQ(rt.game.updatesRun, 0u);
  mod_.reset();  // leaves the bare world before it goes
  host::SetHost(&host_);
}

TEST_F(Lifecycle, OnlyTheFirstTickingThreadRunsTheUpdate) {
  mod::ModRuntime& rt = StartMod();
  Tick(3);
  const uint64_t ran = rt.game.updatesRun;
  ASSERT_GE(ran, 1u);
  std::thread other([&] { Tick(3); });
  other.join();
  EXPECT_EQ(rt.game.updatesRun, ran);
  Tick(1);
  EXPECT_EQ(rt.game.updatesRun, ran + 1);
}

TEST_F(Lifecycle, TwentiethFaultStepsTheModAsideOnTheNextTickOnce) {
  mod::ModRuntime& rt = StartMod();
  test::FakeNavMesh navmesh;  // hooked: its slots must come back
  navmesh.HookInto(rt.game.navmeshes, 0x1234);

  host_.InjectCorruptObjects(20);
  // Every update looks for the navigation system and meets a corrupt object.
  for (int frame = 0; frame < 40 && rt.guardCount < 19; ++frame) Tick(1, 0.6);
  EXPECT_EQ(rt.guardCount, 19u);
  EXPECT_EQ(rt.totalFaults, 19u);
  EXPECT_EQ(Count(mod::kSteppedAsideMessage), 0);
  EXPECT_FALSE(rt.reshapingDisabled);
  Tick(1, 0.6);
  EXPECT_EQ(rt.guardCount, 20u);
  EXPECT_EQ(Count(mod::kSteppedAsideMessage), 0);
  Tick(1, 0.6);  // trips here
  EXPECT_EQ(Count(mod::kSteppedAsideMessage), 1);
  EXPECT_EQ(rt.pathSafetyStatus, mod::kSteppedAsideMessage);
  EXPECT_TRUE(rt.reshapingDisabled);
  EXPECT_FALSE(rt.game.navmeshes[navmesh.Object()].hooked);
  EXPECT_EQ(navmesh.Slot(game::kSlotFindPath), 0x1234u);
  const uint64_t updates = rt.game.updatesRun;
  Tick(10, 0.6);
  EXPECT_EQ(Count(mod::kSteppedAsideMessage), 1);
  EXPECT_EQ(rt.game.updatesRun, updates);
  EXPECT_EQ(rt.totalFaults, 20u);
  EXPECT_EQ(host_.corruptObjectsHandedOut.load(), 20);
  rt.game.navmeshes.clear();
}

TEST_F(Lifecycle, AfterTheObjectArrayShutdownTheDestructorTouchesNothing) {
  mod::ModRuntime& rt = StartMod();
  Tick(3);
  test::FakeNavMesh navmesh;
  navmesh.HookInto(rt.game.navmeshes, 0x1234);

  world_.Shutdown();
  EXPECT_TRUE(rt.gameExitSeen);
  EXPECT_EQ(host_.removeListenerCalls.load(), 1);
  ASSERT_TRUE(std::filesystem::exists(dir_.File("brain.kvrb")));
  EXPECT_EQ(rt.brainStatus.rfind("saved (game exit), ", 0), 0u) << rt.brainStatus;
  std::filesystem::remove(dir_.File("brain.kvrb"));

  mod_.reset();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("brain.kvrb")));
  EXPECT_EQ(host_.removeListenerCalls.load(), 1);
  EXPECT_EQ(navmesh.Slot(game::kSlotFindPath), reinterpret_cast<uintptr_t>(&game::FindPathHook))
      << "the engine is going away: its navmeshes are left alone";
}

TEST(NavHooks, RestoreLeavesASlotSomebodyElseChangedAlone) {
  test::FakeNavMesh navmesh;
  host::UObject* object = navmesh.Object();
  game::NavMeshTable table;
  navmesh.HookInto(table, 0x1111);
  const uintptr_t foreign = 0xABCDEF;  // somebody else swapped this slot since
  std::memcpy(navmesh.bytes + game::kSlotFindPathHierarchical, &foreign, 8);
  game::NavMeshRecord& r = table[object];
  game::RestoreNavHooks(table);
  EXPECT_EQ(game::ReadSlot(object, game::kSlotFindPath), 0x1111u);
  EXPECT_EQ(game::ReadSlot(object, game::kSlotFindPathHierarchical), foreign);
  EXPECT_FALSE(r.hooked);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r.savedFindPath), 0x1111u) << "saved pointers are kept";
  game::RestoreNavHooks(table);  // nothing hooked: nothing changes
  EXPECT_EQ(game::ReadSlot(object, game::kSlotFindPath), 0x1111u);
}

}  // namespace
}  // namespace kvr
