// Whole-file reads are capped: config.ini at a size no real file reaches, the brain file at the
// largest valid file for the configured network. A larger file is refused with a clear message
// and nothing is lost.
#include <gtest/gtest.h>

#include "game_fixture.h"
#include "persistence/brain_file.h"
#include "platform/file.h"
#include "settings/config_ini.h"

namespace kvr {
namespace {

TEST(CappedRead, TheCapIsTheLargestFileThatReads) {
  test::TempDir dir;
  const std::string path = dir.File("data");
  test::WriteFile(path, std::string(1000, 'x'));
  std::string out = "kept";
  EXPECT_EQ(platform::ReadFileCapped(path, 999, out), platform::ReadStatus::kTooLarge);
  EXPECT_EQ(out, "kept");
  EXPECT_EQ(platform::ReadFileCapped(path, 1000, out), platform::ReadStatus::kOk);
  EXPECT_EQ(out.size(), 1000u);
  EXPECT_EQ(platform::ReadFileCapped(dir.File("missing"), 1000, out),
            platform::ReadStatus::kCannotOpen);
  // Larger than one read buffer, refused part way.
  test::WriteFile(path, std::string(200000, 'y'));
  EXPECT_EQ(platform::ReadFileCapped(path, 150000, out), platform::ReadStatus::kTooLarge);
  EXPECT_EQ(out.size(), 1000u);
  EXPECT_EQ(platform::WriteFileReplacing("", "x"), platform::ReplaceStatus::kCannotOpen);
}

TEST(CappedRead, ConfigIniUpToTheLimitReadsAndAboveIsLeftAlone) {
  test::TempDir dir;
  const std::string path = dir.File("config.ini");
  std::string text = "[General]\r\nVerboseLog = 1\r\n;";
  text.resize(kMaxConfigIniBytes - 2, 'x');
  text += "\r\n";
  test::WriteFile(path, text);
  Settings s;
  std::string status;
  EXPECT_EQ(ReadConfigIniFile(path, s, status), ConfigFileState::kRead);
  EXPECT_TRUE(s.VerboseLog);

  test::WriteFile(path, text + "x");
  s = Settings{};
  EXPECT_EQ(ReadConfigIniFile(path, s, status), ConfigFileState::kRefused);
  EXPECT_EQ(status,
            "config.ini is larger than 1048576 bytes - not read, using defaults (the file is "
            "left as it is)");
  EXPECT_FALSE(s.VerboseLog);
}

// A brain at the format's limits: every genome slot and every replay record used.
tactics::Brain FullBrain() {
  tactics::Brain brain;
  tactics::BrainConfig config;
  config.population = static_cast<int32_t>(persistence::kMaxGenomes);
  config.replaySize = static_cast<int32_t>(persistence::kMaxReplayRecords);
  brain.Configure(config, 7);
  brain.replay.resize(persistence::kMaxReplayRecords);
  return brain;
}

TEST(CappedRead, TheLargestValidBrainFileStillLoads) {
  test::TempDir dir;
  const std::string path = dir.File("brain.kvrb");
  const std::string image = persistence::BuildBrainImage(FullBrain());
  EXPECT_EQ(image.size(), persistence::MaxBrainFileBytes(tactics::ShapeOf(tactics::BrainConfig{})));
  test::WriteFile(path, image);
  tactics::Brain loaded;
  loaded.Configure(tactics::BrainConfig{}, 1);
  std::string error;
  EXPECT_TRUE(persistence::ReadBrainFile(loaded, path, error)) << error;
  EXPECT_EQ(loaded.genomes.size(), 8u) << "fitted to the configured population";

  test::WriteFile(path, image + "!");
  const uint32_t generation = loaded.generation;
  EXPECT_FALSE(persistence::ReadBrainFile(loaded, path, error));
  EXPECT_EQ(error, persistence::kFileTooLarge);
  EXPECT_EQ(loaded.generation, generation);
}

class StartUpFiles : public test::GameFixture {};

TEST_F(StartUpFiles, OversizedFilesAreReportedAndNotOverwritten) {
  const std::string config(kMaxConfigIniBytes + 1, ';');
  test::WriteFile(dir_.File("config.ini"), config);
  test::WriteFile(dir_.File("brain.kvrb"), std::string(8 << 20, 'B'));
  mod::ModRuntime& rt = StartMod();
  const auto lines = Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "[KorvathNeuralNav] v1.0.1 by Dunmere (Halvenor) - config.ini is larger than 1048576 "
            "bytes - not read, using defaults (the file is left as it is)\n");
  EXPECT_EQ(lines[1], "[KorvathNeuralNav] fresh brain (file larger than any valid brain file)\n");
  EXPECT_EQ(test::ReadFile(dir_.File("config.ini")), config);
  EXPECT_EQ(rt.brain.genomes.size(), 8u);
}

}  // namespace
}  // namespace kvr
