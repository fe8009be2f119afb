// What the lifecycle must survive: ticks that race shutdown, ticks the update sets off itself,
// a host that throws, a module without a path, and hooked navmesh slots at shutdown.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>

#include "game_fixture.h"
#include "mod/lifecycle.h"

namespace kvr {
namespace {

class Guards : public test::GameFixture {};

TEST_F(Guards, ShutdownRestoresTheHookedSlots) {
  mod::ModRuntime& rt = StartMod();
  Tick(3);
  test::FakeNavMesh navmesh;
  navmesh.HookInto(rt.game.navmeshes, 0x4242);
  mod_.reset();
  EXPECT_EQ(navmesh.Slot(game::kSlotFindPath), 0x4242u);
  EXPECT_EQ(navmesh.Slot(game::kSlotFindPathHierarchical), 0x4242u);
  EXPECT_FALSE(rt.game.navmeshes[navmesh.Object()].hooked);
}

// A tick passes the entry checks, then waits for the state lock while shutdown (or the
// engine's exit) holds it. Once it has the lock it must find the flags set and do nothing.
TEST_F(Guards, ATickThatWaitedForTheLockRunsNothingAfterShutdownOrExit) {
  mod::ModRuntime& rt = StartMod();
  Tick(3);
  const uint64_t ran = rt.game.updatesRun;
  ASSERT_GE(ran, 1u);
  test::FakeNavMesh navmesh;
  navmesh.HookInto(rt.game.navmeshes, 0x4242);
  rt.guardCount = mod::kFaultsBeforeSteppingAside;  // the next update would step aside
  rt.gameExitSeen = true;
  Tick(1);  // the clock moves on; the entry checks turn this tick away
  mod::RunFaultGuard(rt);
  EXPECT_EQ(rt.game.updatesRun, ran);
  EXPECT_EQ(Count(mod::kSteppedAsideMessage), 0);
  EXPECT_EQ(navmesh.Slot(game::kSlotFindPath), reinterpret_cast<uintptr_t>(&game::FindPathHook))
      << "the engine is going away: its navmeshes are left alone";
  rt.gameExitSeen = false;
  rt.shuttingDown = true;
  rt.guardCount = 0;
  mod::RunFaultGuard(rt);
  EXPECT_EQ(rt.game.updatesRun, ran);
  rt.game.navmeshes.clear();
}

// The engine may run ReceiveTick of an actor from inside a function the update calls (the
// update calls SetAvoidanceEnabled through ProcessEvent). That tick arrives on the game thread
// while the update holds the state lock.
class ReenteringHost final : public sim::ForwardingHost {
 public:
  ReenteringHost(sim::World& world, host::UObject* actor)
      : ForwardingHost(world), world_(world), actor_(actor) {}
  void ProcessEvent(host::UObject* object, host::UFunction* function, void* params) override {
    host::UFunction* tick = world_.GetFunctionByNameInChain(actor_, L"ReceiveTick");
    alignas(16) unsigned char block[64] = {};
    ++nestedTicks;
    world_.ProcessEvent(actor_, tick, block);
    ForwardingHost::ProcessEvent(object, function, params);
  }
  int nestedTicks = 0;

 private:
  sim::World& world_;
  host::UObject* actor_;
};

TEST_F(Guards, ATickFromInsideTheUpdateIsTurnedAwayInsteadOfDeadlocking) {
  host::UObject* actor = world_.Spawn(*classes_.actor, L"Inner", {.ticks = true});
  ReenteringHost reentering(world_, actor);
  host::SetHost(&reentering);
  mod::ModRuntime& rt = Start();
  const auto thug = Thug(L"T", {0, 0, 0});
  Discover();
  EXPECT_GE(reentering.nestedTicks, 1);
  EXPECT_TRUE(Record(thug).avoidanceApplied);
  EXPECT_FALSE(game::InsideUpdate()) << "cleared once the update is over";
  mod_.reset();
  host::SetHost(&host_);
  (void)rt;
}

// Fails the chosen calls with an exception, as a host built with exceptions might.
class ThrowingHost final : public sim::ForwardingHost {
 public:
  using ForwardingHost::ForwardingHost;
  void AddUObjectDeleteListener(host::IDeleteListener* l) override {
    if (throwOnAdd) throw std::bad_alloc();
    ForwardingHost::AddUObjectDeleteListener(l);
  }
  void RemoveUObjectDeleteListener(host::IDeleteListener* l) override {
    if (throwOnRemove) throw std::runtime_error("listener list locked");
    ForwardingHost::RemoveUObjectDeleteListener(l);
  }
  void FindAllOf(std::wstring_view c, std::vector<host::UObject*>& out) override {
    if (throwOnFind) throw std::bad_alloc();
    ForwardingHost::FindAllOf(c, out);
  }
  bool throwOnAdd = false;
  bool throwOnRemove = false;
  bool throwOnFind = false;
};

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines)
    if (line.find(part) != std::string::npos) return true;
  return false;
}

TEST_F(Guards, NoExceptionReachesTheHost) {
  ThrowingHost throwing(world_);
  host::SetHost(&throwing);
  throwing.throwOnAdd = true;
  mod_ = std::make_unique<mod::KorvathPalimarNeuralNav>();
  mod::ModRuntime& rt = mod::ModRuntime::Get();
  EXPECT_NO_THROW(mod::StartUp(rt, dir_.Path().wstring()));
  EXPECT_FALSE(rt.initialized) << "no delete listener, no pointers kept: the mod stays idle";
  EXPECT_TRUE(Contains(Lines(), "start-up failed: std::bad_alloc"));
  Tick(3);
  EXPECT_EQ(rt.game.updatesRun, 0u);
  mod_.reset();

  throwing.throwOnAdd = false;
  mod::ModRuntime& second = StartMod();
  Tick(3);
  throwing.throwOnFind = true;
  EXPECT_NO_THROW(Tick(12));
  EXPECT_GE(second.totalFaults, 1u) << "counted by the fault guard";
  throwing.throwOnFind = false;

  throwing.throwOnRemove = true;
  EXPECT_NO_THROW(mod_.reset());
  EXPECT_TRUE(Contains(Lines(), "shutdown failed: listener list locked"));

  mod::ModRuntime& third = StartMod();
  Tick(3);
  EXPECT_NO_THROW(world_.Shutdown());
  EXPECT_TRUE(third.gameExitSeen);
  EXPECT_TRUE(Contains(Lines(), "delete listener: listener list locked"));
  mod_.reset();
  host::SetHost(&host_);
}

TEST_F(Guards, WithoutAModulePathNoFileIsWrittenAnywhere) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_.Path());
  mod_ = std::make_unique<mod::KorvathPalimarNeuralNav>();
  mod::ModRuntime& rt = mod::ModRuntime::Get();
  mod::StartUp(rt, L"");
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "[KorvathNeuralNav] v1.0.1 by Dunmere (Halvenor) - mod directory unknown (the "
            "module's file name could not be read) - using defaults; config.ini and brain.kvrb "
            "are neither read nor written\n");
  EXPECT_EQ(lines[1], "[KorvathNeuralNav] fresh brain (mod directory unknown - not saved)\n");
  Tick(3);
  ModState::Get().requestSaveSettings = 1;
  ModState::Get().requestSaveBrain = 1;
  Tick(2);
  EXPECT_EQ(rt.configStatus, "config.ini could NOT be written");
  rt.brain.totalEpisodes = 1;  // an autosave would be due
  Tick(5, 60.0);
  mod_.reset();
  std::filesystem::current_path(before);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
  EXPECT_EQ(rt.brainStatus, "fresh brain (mod directory unknown - not saved)");
}

TEST(ParamBlockBounds, AnOffsetNearTheTopOfTheRangeIsRefused) {
  host::ParamLayout layout;
  layout.size = 64;
  layout.valid = true;
  layout.offsets[L"Huge"] = 0x7FFFFFFE;
  layout.offsets[L"Edge"] = 62;
  layout.offsets[L"Last"] = 60;
  host::ParamBlock block(layout);
  float f = 1.0f;
  EXPECT_FALSE(block.SetFloat(L"Huge", 1.0f));
  EXPECT_FALSE(block.GetFloat(L"Huge", f));
  EXPECT_FALSE(block.SetFloat(L"Edge", 1.0f));
  EXPECT_TRUE(block.SetFloat(L"Last", 2.5f));
  EXPECT_TRUE(block.GetFloat(L"Last", f));
  EXPECT_EQ(f, 2.5f);
}

}  // namespace
}  // namespace kvr
