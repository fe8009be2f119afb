// The per-frame update's own duties so far: settings adoption with the master switch, the
// menu's requests, autosave and finding the navigation system; driven through ReceiveTick.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "mod/lifecycle.h"
#include "mod/mod.h"
#include "mod/mod_runtime.h"
#include "host/mod_state.h"
#include "mod_fixture.h"
#include "platform/text.h"
#include "settings/config_ini.h"
#include "sim/forwarding_host.h"
#include "sim/game_classes.h"

namespace kvr {
namespace {

class Update : public test::ModFixture {
 protected:
  Update() {
    rt_ = &StartMod();
    Tick(3);  // name found, clock started, updates running
  }
  void Publish(const Settings& s) {
    ModState& state = ModState::Get();
    std::lock_guard<std::mutex> lock(state.settingsLock);
    state.sharedSettings = s;
    ++state.settingsVersion;
  }

  mod::ModRuntime* rt_ = nullptr;
};

TEST_F(Update, FindsTheNavigationSystemOnceAndLogsItsLayouts) {
  Tick(10);
  EXPECT_EQ(Count("navigation queries: K2_ProjectPointToNavigation OK (64 bytes), "
                  "NavigationRaycast OK (72 bytes)"),
            1);
  EXPECT_TRUE(rt_->game.projectLayout.valid);
  EXPECT_TRUE(rt_->game.raycastLayout.valid);
  EXPECT_EQ(rt_->game.navigationSystem, world_.FindObject(sim::kNavigationSystemPath));
}

TEST_F(Update, MenuRequestsAreServedOnceEach) {
  ModState& state = ModState::Get();
  // Save settings writes the shared record, not the game thread's copy.
  Settings changed;
  changed.Population = 5;
  {
    std::lock_guard<std::mutex> lock(state.settingsLock);
    state.sharedSettings = changed;  // no version bump: the update must not adopt it here
  }
  state.requestSaveSettings = 1;
  Tick(1);
  EXPECT_EQ(state.requestSaveSettings.load(), 0u);
  EXPECT_EQ(rt_->configStatus, "config.ini saved");
  EXPECT_EQ(Count("config.ini saved"), 1);
  EXPECT_EQ(test::ReadFile(dir_.File("config.ini")), BuildConfigIniText(changed));

  // Reload publishes what the file says as a new version, which the next update adopts.
  test::WriteFile(dir_.File("config.ini"), "[NeuralNet]\nPopulation = 3\n");
  const uint64_t version = state.settingsVersion;
  state.requestReloadSettings = 1;
  Tick(2);
  EXPECT_EQ(state.settingsVersion, version + 1);
  EXPECT_EQ(rt_->gameSettings.Population, 3);
  EXPECT_EQ(rt_->brain.genomes.size(), 3u);
  EXPECT_EQ(Count("config.ini: 1 settings read, 61 missing (defaults used), 0 unreadable (defaults "
                  "used); all "
                  "clamped to their documented ranges"),
            1);

  state.requestSaveBrain = 1;
  Tick(1);
  EXPECT_EQ(rt_->brainStatus, "saved (menu), 0 episodes, generation 0");
  EXPECT_TRUE(std::filesystem::exists(dir_.File("brain.kvrb")));

  state.requestEvolveNow = 1;
  Tick(1);
  EXPECT_EQ(Count("manual evolution skipped: fewer than 2 ranked genomes yet"), 1);

  for (auto& g : rt_->brain.genomes) g.episodes = 10;  // ranked now
  state.requestEvolveNow = 1;
  Tick(1);
  EXPECT_EQ(Count("manual evolution: new generation created"), 1);
  EXPECT_EQ(rt_->brain.generation, 1u);

  state.requestResetBrain = 1;
  Tick(1);
  EXPECT_EQ(rt_->brain.generation, 0u);
  EXPECT_EQ(rt_->brainStatus, "reset to a fresh population");
  EXPECT_EQ(Count("brain reset to a fresh population"), 1);
  Tick(5);  // nothing is served twice
  EXPECT_EQ(Count("brain reset to a fresh population"), 1);
  EXPECT_EQ(Count("manual evolution: new generation created"), 1);
}

TEST_F(Update, MasterSwitchOffRestoresHookedNavmeshesOnce) {
  test::FakeNavMesh navmesh;
  {
    std::lock_guard<std::mutex> lock(rt_->stateLock);
    navmesh.HookInto(rt_->game.navmeshes, 0x4242);
  }
  Settings off;
  off.Enabled = false;
  Publish(off);
  Tick(2);
  const std::string message =
      "master switch OFF: navmesh path functions restored, local avoidance restored";
  EXPECT_EQ(Count(message), 1);
  EXPECT_EQ(navmesh.Slot(game::kSlotFindPath), 0x4242u);
  EXPECT_EQ(navmesh.Slot(game::kSlotFindPathHierarchical), 0x4242u);
  Publish(off);  // off while already off: nothing more
  Tick(2);
  EXPECT_EQ(Count(message), 1);
  std::lock_guard<std::mutex> lock(rt_->stateLock);
  rt_->game.navmeshes.clear();
}

TEST_F(Update, AutosaveWaitsForAFinishedEpisode) {
  Settings s;
  s.AutosaveSeconds = 10;
  Publish(s);
  Tick(30, 1.0);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("brain.kvrb")))
      << "no episode yet: nothing to save";
  {
    std::lock_guard<std::mutex> lock(rt_->stateLock);
    rt_->brain.totalEpisodes = 1;
  }
  Tick(12, 1.0);
  EXPECT_TRUE(std::filesystem::exists(dir_.File("brain.kvrb")));
  EXPECT_EQ(rt_->brainStatus, "saved (autosave), 1 episodes, generation 0");
}

}  // namespace
}  // namespace kvr
