// brain.kvrb values that the mod can never have written: refused genomes, dropped replay
// records, a repaired average loss; a writer that never writes what its reader refuses; and
// failed saves that leave the old file byte for byte as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "brain_support.h"
#include "persistence/brain_file.h"
#include "persistence/brain_status.h"
#include "test_support.h"

namespace kvr::persistence {
namespace {

using tactics::Brain;
using test::FreshBrain;
using test::Resealed;

constexpr size_t kGenome0 = 183;     // first genome record of a default-shape file
constexpr size_t kReplayAt = 16503;  // replay header of a default file without records
constexpr size_t kRecordSize = 53;

template <typename T>
void Put(std::string& s, size_t at, T v) {
  std::memcpy(s.data() + at, &v, sizeof v);
}

std::string Decode(const std::string& bytes, BrainImage* out = nullptr) {
  const tactics::NetworkShape shape = tactics::ShapeOf(tactics::MakeBrainConfig(Settings{}));
  BrainImage image;
  std::string error;
  if (DecodeBrainImage(bytes, &shape, image, error) && out) *out = std::move(image);
  return error;
}

TEST(BrainFileValues, GenomesWithImpossibleNumbersAreRefused) {
  const std::string good = BuildBrainImage(FreshBrain(3));
  ASSERT_EQ(Decode(good), "");
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();

  std::string weight = good;
  Put(weight, kGenome0 + 24 + 4 * 100, nan);
  EXPECT_EQ(Decode(Resealed(weight)), kBadGenomeValues);
  std::string bias = good;
  Put(bias, kGenome0 + 28 + 4 * 468 + 4 * 7, -inf);
  EXPECT_EQ(Decode(Resealed(bias)), kBadGenomeValues);
  std::string fitness = good;
  Put(fitness, kGenome0 + 12, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(Decode(Resealed(fitness)), kBadGenomeValues);
  std::string episodes = good;
  Put<uint32_t>(episodes, kGenome0 + 8, 0x80000000u);  // 2^31: negative as a signed count
  EXPECT_EQ(Decode(Resealed(episodes)), kBadGenomeValues);
  Put<uint32_t>(episodes, kGenome0 + 8, 0x7FFFFFFFu);
  BrainImage image;
  EXPECT_EQ(Decode(Resealed(episodes), &image), "");
  EXPECT_EQ(image.genomes[0].episodes, std::numeric_limits<int32_t>::max());

  // The brain that refused such a file is untouched.
  Brain brain = FreshBrain(4);
  const std::string before = BuildBrainImage(brain);
  std::string error;
  EXPECT_FALSE(ParseBrainFile(Resealed(weight), brain, error));
  EXPECT_EQ(error, kBadGenomeValues);
  EXPECT_EQ(BuildBrainImage(brain), before);
}

TEST(BrainFileValues, ImpossibleReplayRecordsAreDroppedAndTheRestKept) {
  Brain saved = FreshBrain(5);
  saved.config.replaySize = 64;
  saved.replay.resize(6);
  for (size_t i = 0; i < saved.replay.size(); ++i) {
    saved.replay[i].inputs.fill(0.1f * static_cast<float>(i));
    saved.replay[i].style = static_cast<uint8_t>(i);
    saved.replay[i].reward = 0.1f * static_cast<float>(i);
  }
  saved.replayWritePos = 5;
  std::string bytes = BuildBrainImage(saved);
  const auto record = [](size_t i) { return kReplayAt + 8 + i * kRecordSize; };
  Put(bytes, record(1) + 4 * 3, std::numeric_limits<float>::quiet_NaN());  // an input
  Put(bytes, record(2) + 49, 1.5f);                                        // reward above 1
  Put(bytes, record(4) + 4 * 11, -2.0f);  // an input no observation can have
  Put(bytes, record(5) + 49, -std::numeric_limits<float>::infinity());

  BrainImage image;
  ASSERT_EQ(Decode(Resealed(bytes), &image), "");
  EXPECT_EQ(image.droppedReplayRecords, 4u);
  ASSERT_EQ(image.replay.size(), 2u);
  EXPECT_EQ(image.replay[0].style, 0);
  EXPECT_EQ(image.replay[1].style, 3);
  EXPECT_FLOAT_EQ(image.replay[1].reward, 0.3f);

  Brain loaded = FreshBrain(6);
  loaded.config.replaySize = 64;
  std::string error;
  ASSERT_TRUE(ParseBrainFile(Resealed(bytes), loaded, error)) << error;
  EXPECT_EQ(loaded.replay.size(), 2u);
  EXPECT_EQ(loaded.replayWritePos, 5u % 2u);
}

TEST(BrainFileValues, ANaNAverageLossFromAnOldFileRestartsAtZero) {
  std::string bytes = BuildBrainImage(FreshBrain(7));
  Put(bytes, 39 + 20, std::numeric_limits<float>::quiet_NaN());
  Put(bytes, 39 + 28 + 8, std::numeric_limits<double>::infinity());  // style 0's reward sum
  BrainImage image;
  ASSERT_EQ(Decode(Resealed(bytes), &image), "");
  EXPECT_EQ(image.averageLoss, 0.0f);
  EXPECT_EQ(image.styleStats[0].rewardSum, 0.0);
}

// What every failed save must leave behind: the old file exactly as it was.
class FailedSave : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("brain.kvrb");
    std::string error;
    ASSERT_TRUE(WriteBrainFile(FreshBrain(11), path_, error)) << error;
    old_ = test::ReadFile(path_);
  }
  void ExpectOldFileIntact() {
    EXPECT_EQ(test::ReadFile(path_), old_);
    Brain check = FreshBrain(12);
    std::string error;
    EXPECT_TRUE(ReadBrainFile(check, path_, error)) << error;
  }
  test::TempDir dir_;
  std::string path_;
  std::string old_;
};

TEST_F(FailedSave, AnEmptyPopulationIsNotWritten) {
  Brain empty = FreshBrain(13);
  empty.genomes.clear();
  std::string error;
  EXPECT_FALSE(WriteBrainFile(empty, path_, error));
  EXPECT_EQ(error, std::string("not saved, it would not load: ") + kBadGenomeCount);
  ExpectOldFileIntact();
}

TEST_F(FailedSave, ABrainTheReaderWouldRefuseIsNotWritten) {
  Brain poisoned = FreshBrain(14);
  poisoned.genomes[2].network.weights[7] = std::numeric_limits<float>::quiet_NaN();
  std::string status;
  const SaveOutcome outcome = SaveBrainWithStatus(poisoned, path_, "autosave", true, status);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(status, std::string("save FAILED: not saved, it would not load: ") + kBadGenomeValues);
  ExpectOldFileIntact();

  Brain misshapen = FreshBrain(15);
  misshapen.config.hiddenLayer1 = 20;  // the header would name a shape the genomes do not have
  std::string error;
  EXPECT_FALSE(WriteBrainFile(misshapen, path_, error));
  EXPECT_EQ(error, std::string("not saved, it would not load: ") + kBadGenomeData);
  ExpectOldFileIntact();
}

TEST_F(FailedSave, ATemporaryFileThatCannotBeMadeLeavesTheOldFile) {
  std::filesystem::create_directory(path_ + ".tmp");
  std::string error;
  EXPECT_FALSE(WriteBrainFile(FreshBrain(16), path_, error));
  EXPECT_EQ(error, "cannot write " + path_ + ".tmp");
  ExpectOldFileIntact();
}

}  // namespace
}  // namespace kvr::persistence
