// A brain file the running brain did not come from (another network shape, damage, a reset in
// the menu) is kept beside itself before the first save over it, and never at the cost of an
// older backup. Driven through the mod's start-up, menu requests and shutdown on real files.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "host/mod_state.h"
#include "mod_fixture.h"
#include "persistence/brain_file.h"
#include "settings/config_ini.h"
#include "tactics/brain.h"

namespace kvr {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKeptLine =
    " before saving over it (the brain being saved did not come from it)";

class BrainBackup : public test::ModFixture {
 protected:
  std::string Brain() const { return dir_.File("brain.kvrb"); }
  std::string Backup(const std::string& suffix) const { return Brain() + ".bak" + suffix; }

  // A brain with many episodes behind it, saved with the given first hidden layer.
  std::string WriteLearnedBrain(int hiddenLayer1, uint64_t episodes) {
    Settings s;
    s.HiddenLayer1 = hiddenLayer1;
    tactics::Brain brain;
    brain.Configure(tactics::MakeBrainConfig(s), 7);
    brain.totalEpisodes = episodes;
    std::string error;
    EXPECT_TRUE(persistence::WriteBrainFile(brain, Brain(), error)) << error;
    return test::ReadFile(Brain());
  }

  // Sets a menu request and ticks until the per-frame update has taken it.
  void Request(std::atomic<uint32_t>& flag) {
    flag = 1;
    for (int i = 0; i < 100000 && flag.load() != 0; ++i) Tick(1);
    ASSERT_EQ(flag.load(), 0u) << "the update never took the request";
  }
  void SaveFromMenu() { Request(ModState::Get().requestSaveBrain); }
  void ResetFromMenu() { Request(ModState::Get().requestResetBrain); }
};

TEST_F(BrainBackup, ABrainOfAnotherShapeIsKeptBeforeTheFirstSaveOverIt) {
  const std::string learned = WriteLearnedBrain(20, 5000);
  mod::ModRuntime& rt = StartMod();  // config.ini: the defaults, HiddenLayer1 16
  ASSERT_GE(Lines().size(), 2u);
  EXPECT_EQ(Lines()[1],
            "[KorvathNeuralNav] fresh brain (network shape differs from config.ini (a fresh brain "
            "will be used))\n");
  EXPECT_EQ(test::ReadFile(Brain()), learned) << "start-up alone changes nothing";
  EXPECT_FALSE(fs::exists(Backup("")));

  SaveFromMenu();
  EXPECT_EQ(test::ReadFile(Backup("")), learned);
  EXPECT_NE(test::ReadFile(Brain()), learned);
  EXPECT_EQ(rt.brainStatus, "saved (menu), 0 episodes, generation 0");
  EXPECT_EQ(Count(std::string("kept the old brain.kvrb as brain.kvrb.bak") + kKeptLine), 1);

  mod_.reset();  // the exit save goes over the mod's own file: no second copy
  EXPECT_FALSE(fs::exists(Backup("1")));
  EXPECT_EQ(test::ReadFile(Backup("")), learned);

  // The saved file is the fresh brain of the configured shape, and the old one can be had back.
  StartMod();
  EXPECT_EQ(Count("loaded brain.kvrb: 0 episodes, generation 0"), 1);
  tactics::Brain old;
  Settings wide;
  wide.HiddenLayer1 = 20;
  old.Configure(tactics::MakeBrainConfig(wide), 1);
  std::string error;
  ASSERT_TRUE(persistence::ReadBrainFile(old, Backup(""), error)) << error;
  EXPECT_EQ(old.totalEpisodes, 5000u);
}

TEST_F(BrainBackup, ADamagedBrainIsKeptUnderTheNextFreeNameAndOlderBackupsStay) {
  const std::string damaged(200, 'x');
  test::WriteFile(Brain(), damaged);
  test::WriteFile(Backup(""), "an older backup");
  test::WriteFile(Backup("1"), "another one");
  StartMod();
  EXPECT_EQ(Lines()[1], "[KorvathNeuralNav] fresh brain (checksum mismatch (file damaged))\n");

  mod_.reset();  // the exit save
  EXPECT_EQ(test::ReadFile(Backup("")), "an older backup");
  EXPECT_EQ(test::ReadFile(Backup("1")), "another one");
  EXPECT_EQ(test::ReadFile(Backup("2")), damaged);
  EXPECT_EQ(Count(std::string("kept the old brain.kvrb as brain.kvrb.bak2") + kKeptLine), 1);
  EXPECT_NE(test::ReadFile(Brain()), damaged);
}

TEST_F(BrainBackup, WithoutRoomForABackupTheOldBrainIsNotSavedOver) {
  const std::string damaged(200, 'x');
  test::WriteFile(Brain(), damaged);
  for (int n = 0; n <= 999; ++n) test::WriteFile(Backup(n ? std::to_string(n) : ""), "taken");
  mod::ModRuntime& rt = StartMod();
  SaveFromMenu();
  const std::string failed =
      "save FAILED: the old brain.kvrb could not be kept as a backup "
      "(every backup name from " +
      Backup("") + " to " + Backup("999") + " is taken), so it was not saved over";
  EXPECT_EQ(rt.brainStatus, failed);
  EXPECT_EQ(Count(failed), 1);
  mod_.reset();  // the exit save tries again and fails again
  EXPECT_EQ(Count(failed), 2);
  EXPECT_EQ(test::ReadFile(Brain()), damaged);
  EXPECT_EQ(test::ReadFile(Backup("")), "taken");
  EXPECT_EQ(test::ReadFile(Backup("999")), "taken");
  EXPECT_FALSE(fs::exists(Backup("1000")));
}

TEST_F(BrainBackup, TheMenuResetKeepsTheSavedBrainItForgets) {
  StartMod();
  mod_.reset();  // a first run leaves its brain
  mod::ModRuntime& rt = StartMod();
  EXPECT_EQ(Count("loaded brain.kvrb: 0 episodes, generation 0"), 1);
  SaveFromMenu();  // the loaded brain's own file: saved over without a copy
  EXPECT_EQ(rt.brainStatus, "saved (menu), 0 episodes, generation 0");
  EXPECT_FALSE(fs::exists(Backup("")));
  const std::string learned = test::ReadFile(Brain());

  ResetFromMenu();
  EXPECT_EQ(rt.brainStatus, "reset to a fresh population");
  EXPECT_EQ(test::ReadFile(Brain()), learned) << "the reset itself writes nothing";
  SaveFromMenu();
  EXPECT_EQ(test::ReadFile(Backup("")), learned);
  EXPECT_NE(test::ReadFile(Brain()), learned);
  EXPECT_EQ(rt.brainStatus, "saved (menu), 0 episodes, generation 0");
  EXPECT_EQ(Count(std::string("kept the old brain.kvrb as brain.kvrb.bak") + kKeptLine), 1);
  SaveFromMenu();  // the reset brain's own file now
  EXPECT_FALSE(fs::exists(Backup("1")));
}

TEST_F(BrainBackup, ANetworkShapeChangedInTheMenuKeepsTheBrainItReplaced) {
  StartMod();
  mod_.reset();
  mod::ModRuntime& rt = StartMod();
  const std::string saved = test::ReadFile(Brain());
  Settings wider;
  wider.HiddenLayer1 = 24;
  {
    ModState& state = ModState::Get();
    std::lock_guard<std::mutex> lock(state.settingsLock);
    state.sharedSettings = wider;
    ++state.settingsVersion;
  }
  SaveFromMenu();  // the same update adopts the settings first, then saves
  EXPECT_EQ(rt.gameSettings.HiddenLayer1, 24);
  EXPECT_EQ(test::ReadFile(Backup("")), saved);
  EXPECT_EQ(Count(std::string("kept the old brain.kvrb as brain.kvrb.bak") + kKeptLine), 1);
}

}  // namespace
}  // namespace kvr
