// A save whose data cannot be written (the disk is full) fails and leaves the old files exactly
// as they were. /dev/full stands in for the full disk: the temporary file is a link to it.
#include <gtest/gtest.h>

#include <filesystem>

#include "persistence/brain_file.h"
#include "settings/config_ini.h"
#include "test_support.h"

namespace kvr {
namespace {

TEST(FailedWrite, AFullDiskLeavesTheOldBrainAndConfigAlone) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  test::TempDir dir;
  const std::string brainPath = dir.File("brain.kvrb"), configPath = dir.File("config.ini");
  tactics::Brain brain;
  brain.Configure(tactics::MakeBrainConfig(Settings{}), 21);
  std::string error;
  ASSERT_TRUE(persistence::WriteBrainFile(brain, brainPath, error)) << error;
  ASSERT_TRUE(WriteConfigIni(configPath, Settings{}));
  const std::string oldBrain = test::ReadFile(brainPath), oldConfig = test::ReadFile(configPath);

  std::filesystem::create_symlink("/dev/full", brainPath + ".tmp");
  std::filesystem::create_symlink("/dev/full", configPath + ".tmp");
  brain.totalEpisodes = 99;
  EXPECT_FALSE(persistence::WriteBrainFile(brain, brainPath, error));
  EXPECT_EQ(error, "write failed");
  Settings changed;
  changed.Population = 3;
  EXPECT_FALSE(WriteConfigIni(configPath, changed));
  EXPECT_EQ(test::ReadFile(brainPath), oldBrain);
  EXPECT_EQ(test::ReadFile(configPath), oldConfig);
}

}  // namespace
}  // namespace kvr
