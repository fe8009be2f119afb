// The path hook across a reload of the mod (the host uninstalls the mod object and makes a new
// one in the same process) when a FindPath slot still holds the hook of the object that is gone.
#include <gtest/gtest.h>

#include <atomic>

#include "aps/horizontal.h"
#include "path_hook_fixture.h"

namespace kvr {
namespace {

using aps::ReshapeOutcome;
using test::kFrom;
using test::kTo;

// Another mod that chained its own FindPath over ours: it calls what it found in the slot, and
// puts that back when it is uninstalled.
std::atomic<game::FindPathFn> g_chained{nullptr};

void* ChainedFindPath(void* result, const void* agent, const void* query) {
  return g_chained.load()(result, agent, query);
}

class PathHookReload : public test::PathHookFixture {
 protected:
  uintptr_t SlotValue(int slot) {
    return reinterpret_cast<uintptr_t>(sim::NavSlot(navmesh_, slot));
  }
  void ChainOver() {
    const auto chained = reinterpret_cast<uintptr_t>(&ChainedFindPath);
    g_chained = reinterpret_cast<game::FindPathFn>(
        game::ExchangeSlot(navmesh_, game::kSlotFindPath, chained));
    game::ExchangeSlot(navmesh_, game::kSlotFindPathHierarchical, chained);
  }
  void UnchainOver() {
    const auto saved = reinterpret_cast<uintptr_t>(g_chained.load());
    game::ExchangeSlot(navmesh_, game::kSlotFindPath, saved);
    game::ExchangeSlot(navmesh_, game::kSlotFindPathHierarchical, saved);
  }
  // The host's reload: the mod object goes (restoring what it can), a new one starts.
  void Reload(const Settings& s) {
    mod_.reset();
    UnchainOver();  // the other mod leaves after ours: the slots hold our hook again
    StartWith(s);
  }
};

TEST_F(PathHookReload, AHookLeftInTheSlotsKeepsAnsweringAndIsRestoredToTheEngine) {
  StartWith(Rules());
  const sim::ThugObjects thug = AddThug(L"Thug");
  PassSelfTest(thug);
  const uintptr_t hook = reinterpret_cast<uintptr_t>(&game::FindPathHook);
  const uintptr_t engine = reinterpret_cast<uintptr_t>(&test::TwistingFindPath);
  ChainOver();
  Reload(Rules());
  ASSERT_EQ(SlotValue(0), hook);
  ASSERT_EQ(SlotValue(1), hook);
  const game::NavMeshRecord& record = rt_->game.navmeshes.at(navmesh_);
  EXPECT_TRUE(record.hooked);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(record.savedFindPath), engine);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(record.savedFindPathHierarchical), engine);

  const sim::ThugObjects second = AddThug(L"Second");
  for (int i = 0; i < 4; ++i) {
    const Plan p = Once(second, kFrom[i], kTo[i]);
    EXPECT_TRUE(p.ok) << "trip " << i << ": the engine's path came back through the old hook";
    ASSERT_FALSE(p.route.empty());
    EXPECT_LT(aps::HorizontalDistance(p.route.back().location, kTo[i]), 1.0f);
  }

  Settings off = Rules();
  off.Enabled = 0;
  Publish(off);
  Discover();
  EXPECT_EQ(SlotValue(0), engine) << "the engine's own FindPath is back, never null";
  EXPECT_EQ(SlotValue(1), engine);
  EXPECT_TRUE(Once(second, kFrom[0], kTo[0]).ok);
  ExpectEngineMemoryClean();
}

TEST_F(PathHookReload, WithTheEngineFunctionUnknownTheHookStaysAndNothingIsMarkedHooked) {
  // Slots that hold the hook on a navmesh no mod object of this process ever accepted: nothing
  // says which engine function they replaced.
  const uintptr_t hook = reinterpret_cast<uintptr_t>(&game::FindPathHook);
  sim::SetNavSlot(navmesh_, 0, reinterpret_cast<void*>(hook));
  sim::SetNavSlot(navmesh_, 1, reinterpret_cast<void*>(hook));
  StartWith(Rules());
  const game::NavMeshRecord& record = rt_->game.navmeshes.at(navmesh_);
  EXPECT_FALSE(record.hooked);
  EXPECT_EQ(record.savedFindPath, nullptr);
  EXPECT_NE(record.status.find("engine's own FindPath is unknown (left untouched)"),
            std::string::npos)
      << record.status;
  Settings off = Rules();
  off.Enabled = 0;
  Publish(off);
  Discover();
  EXPECT_EQ(SlotValue(0), hook) << "a slot is never given a null function";
  EXPECT_EQ(SlotValue(1), hook);
  Publish(Rules());
  Discover();
  EXPECT_FALSE(rt_->game.navmeshes.at(navmesh_).hooked) << "not retried";
}

}  // namespace
}  // namespace kvr
