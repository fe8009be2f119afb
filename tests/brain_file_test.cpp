// brain.kvrb: layout, round trip, every rejection in order, population and replay fitting on
// load, the status texts, and damaged or hostile bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "brain_support.h"
#include "persistence/brain_file.h"
#include "persistence/brain_status.h"
#include "test_support.h"

namespace kvr::persistence {
namespace {

using tactics::Brain;
using tactics::BrainConfig;
using test::FreshBrain;
using test::Resealed;

BrainConfig Defaults() {
  return tactics::MakeBrainConfig(Settings{});
}

uint32_t U32At(const std::string& s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}
uint64_t U64At(const std::string& s, size_t at) {
  uint64_t v;
  std::memcpy(&v, s.data() + at, 8);
  return v;
}
void PutU32(std::string& s, size_t at, uint32_t v) {
  std::memcpy(s.data() + at, &v, 4);
}

// A brain with learning behind it: replay records, counters, stats.
Brain TrainedBrain(int episodes) {
  Brain brain = FreshBrain(99);
  for (int i = 0; i < episodes; ++i) {
    tactics::Observation o{};
    for (int k = 0; k < 12; ++k) o[k] = 0.01f * static_cast<float>((i + k) % 50);
    brain.Learn(i % 8, o, i % 7, 0.1f * static_cast<float>(i % 11));
  }
  return brain;
}

std::string Reject(const std::string& bytes, BrainConfig config = Defaults()) {
  Brain brain = FreshBrain(5, config);
  const std::string before = BuildBrainImage(brain);
  std::string error;
  EXPECT_FALSE(ParseBrainFile(bytes, brain, error));
  EXPECT_EQ(BuildBrainImage(brain), before) << "a rejected file leaves the brain as it was";
  return error;
}

TEST(BrainFile, Crc32IsTheZlibChecksum) {
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32(""), 0u);
  // Lengths around the 8-byte steps (expected values from zlib).
  const std::pair<size_t, uint32_t> cases[] = {
      {1, 0x4B0BBE37u},  {7, 0x54491CDBu},  {8, 0xE2E35978u},  {9, 0x3D351CFEu},
      {15, 0x7C619EDCu}, {16, 0x191F3D9Fu}, {17, 0x7BA75EE3u}, {1000, 0x17BC2A46u}};
  for (const auto& [n, crc] : cases) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 256);
    EXPECT_EQ(Crc32(bytes), crc) << n << " bytes";
  }
}

TEST(BrainFile, FreshDefaultImageLayout) {
  const Brain brain = FreshBrain(0);
  const std::string img = BuildBrainImage(brain);
  ASSERT_EQ(img.size(), 16515u);
  EXPECT_EQ(img.substr(0, 4), "KVRB");
  EXPECT_EQ(U32At(img, 4), 1u);
  EXPECT_EQ(U32At(img, 8), 12u);
  EXPECT_EQ(U32At(img, 12), 7u);
  EXPECT_EQ(U32At(img, 16), 4u);
  EXPECT_EQ(U32At(img, 20), 12u);
  EXPECT_EQ(U32At(img, 32), 7u);
  EXPECT_EQ(img[36], 2);  // Tanh, Tanh, Sigmoid
  EXPECT_EQ(img[38], 0);
  EXPECT_EQ(U64At(img, 39), brain.rng.state);
  EXPECT_EQ(U32At(img, 63), 1u + 8u) << "next genome id";
  EXPECT_EQ(U32At(img, 179), 8u) << "genome count";
  EXPECT_EQ(U32At(img, 183), 1u) << "first genome id";
  EXPECT_EQ(U32At(img, 183 + 20), 468u);
  EXPECT_EQ(U32At(img, 183 + 24 + 4 * 468), 35u);
  EXPECT_EQ(U32At(img, 183 + 2040), 2u) << "second genome id";
  EXPECT_EQ(U32At(img, 16503), 0u) << "replay record count";
  EXPECT_EQ(U32At(img, 16511), Crc32(std::string_view(img).substr(0, 16511)));
}

TEST(BrainFile, FullReplayMemoryMakesTheLargestDefaultFile) {
  Brain brain = FreshBrain(1);
  brain.replay.resize(512);
  EXPECT_EQ(BuildBrainImage(brain).size(), 43651u);
}

TEST(BrainFile, WriteThenReadRestoresEverything) {
  test::TempDir dir;
  const std::string path = dir.File("brain.kvrb");
  Brain saved = TrainedBrain(60);  // one automatic evolution at 48
  saved.genomes[2].users = 3;
  ASSERT_EQ(saved.generation, 1u);
  std::string error;
  ASSERT_TRUE(WriteBrainFile(saved, path, error)) << error;
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  Brain loaded = FreshBrain(7);
  ASSERT_TRUE(ReadBrainFile(loaded, path, error)) << error;
  EXPECT_EQ(BuildBrainImage(loaded), test::ReadFile(path));
  EXPECT_EQ(loaded.rng.state, saved.rng.state);
  EXPECT_EQ(loaded.totalEpisodes, 60u);
  EXPECT_EQ(loaded.replay.size(), 60u);
  EXPECT_EQ(loaded.replayWritePos, saved.replayWritePos);
  EXPECT_EQ(loaded.styleStats[3].rewardSum, saved.styleStats[3].rewardSum);
  EXPECT_EQ(loaded.genomes[2].users, 0) << "users are not saved";
  EXPECT_EQ(loaded.genomes[2].network.weightVelocities, std::vector<float>(468, 0.0f));
  EXPECT_EQ(loaded.genomes[5].fitness, saved.genomes[5].fitness);

  // The loaded brain continues the same random sequence as the saved one.
  const tactics::Observation o{};
  std::array<float, 7> out1, out2;
  saved.config.exploreStart = loaded.config.exploreStart = 1.0f;
  EXPECT_EQ(saved.ChooseStyle(1, o, out1).style, loaded.ChooseStyle(1, o, out2).style);
  EXPECT_EQ(saved.rng.state, loaded.rng.state);
}

TEST(BrainFile, RejectionsInCheckOrder) {
  test::TempDir dir;
  Brain brain = FreshBrain(3);
  std::string error;
  EXPECT_FALSE(ReadBrainFile(brain, dir.File("missing.kvrb"), error));
  EXPECT_EQ(error, kNoSavedBrain);

  const std::string good = BuildBrainImage(TrainedBrain(10));
  EXPECT_EQ(Reject(good.substr(0, 63)), kFileTooSmall);
  EXPECT_EQ(Reject(""), kFileTooSmall);
  for (size_t at : {size_t{0}, size_t{100}, size_t{5000}, good.size() - 1}) {
    std::string flipped = good;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
    EXPECT_EQ(Reject(flipped), kChecksumMismatch) << "byte " << at;
  }
  std::string magic = good;
  magic[0] = 'X';
  EXPECT_EQ(Reject(Resealed(magic)), kNotV1);
  std::string version = good;
  PutU32(version, 4, 2);
  EXPECT_EQ(Reject(Resealed(version)), kNotV1);
  std::string counts = good;
  PutU32(counts, 12, 8);
  EXPECT_EQ(Reject(Resealed(counts)), kDifferentCounts);
}

TEST(BrainFile, ShapeMustMatchTheConfig) {
  const std::string good = BuildBrainImage(FreshBrain(3));
  BrainConfig oneHidden = Defaults();
  oneHidden.hiddenLayer2 = 0;
  EXPECT_EQ(Reject(good, oneHidden), kShapeDiffers);
  BrainConfig relu = Defaults();
  relu.hiddenActivation = tactics::kReLU;
  EXPECT_EQ(Reject(good, relu), kShapeDiffers);
  std::string layers = good;
  PutU32(layers, 16, 0xFFFFFFFFu);
  EXPECT_EQ(Reject(Resealed(layers)), kShapeDiffers);
}

TEST(BrainFile, GenomeAndReplayDataAreBounded) {
  const std::string good = BuildBrainImage(TrainedBrain(10));
  std::string count = good;
  PutU32(count, 179, 0);
  EXPECT_EQ(Reject(Resealed(count)), kBadGenomeCount);
  PutU32(count, 179, 65);
  EXPECT_EQ(Reject(Resealed(count)), kBadGenomeCount);

  std::string huge = good;
  PutU32(huge, 183 + 20, 1000001);
  EXPECT_EQ(Reject(Resealed(huge)), kBadGenomeData);
  std::string longer = good;  // claims more weights than the file holds
  PutU32(longer, 183 + 20, 1000000);
  EXPECT_EQ(Reject(Resealed(longer)), kBadGenomeData);
  std::string mismatch = good;  // 467 weights: Network::Assign refuses the shape
  PutU32(mismatch, 183 + 20, 467);
  EXPECT_EQ(Reject(Resealed(mismatch)), kBadGenomeData);
  std::string biases = good;
  PutU32(biases, 183 + 24 + 4 * 468, 0xFFFFFFFFu);
  EXPECT_EQ(Reject(Resealed(biases)), kBadGenomeData);

  const size_t replayAt = 16503;
  std::string records = good;
  PutU32(records, replayAt, 8193);
  EXPECT_EQ(Reject(Resealed(records)), kBadReplayData);
  std::string style = good;
  style[replayAt + 8 + 48] = 7;
  EXPECT_EQ(Reject(Resealed(style)), kTrailingShortData);
  std::string extra = good;
  extra.insert(extra.size() - 4, 1, '\0');
  EXPECT_EQ(Reject(Resealed(extra)), kTrailingShortData);
  std::string shortened = good;
  shortened.erase(shortened.size() - 5, 1);
  EXPECT_EQ(Reject(Resealed(shortened)), kTrailingShortData);
  std::string many = good;
  PutU32(many, replayAt, 8192);  // more records than bytes
  EXPECT_EQ(Reject(Resealed(many)), kTrailingShortData);
  // Cut inside the replay header: the counts cannot be read.
  std::string cut = good.substr(0, replayAt + 6) + "1234";
  EXPECT_EQ(Reject(Resealed(cut)), kBadReplayData);
}

TEST(BrainFile, EveryTruncationIsRejectedCleanly) {
  BrainConfig small = Defaults();
  small.hiddenLayer1 = 2;
  small.hiddenLayer2 = 0;
  small.population = 2;
  Brain brain = FreshBrain(4, small);
  brain.replay.resize(3);
  const std::string good = BuildBrainImage(brain);
  for (size_t n = 0; n < good.size(); ++n) {
    const std::string cut = good.substr(0, n) + "\0\0\0\0";
    EXPECT_FALSE(Reject(n >= 60 ? Resealed(cut) : cut, small).empty()) << "length " << n;
  }
}

TEST(BrainFile, LoadingFitsThePopulationAndReplayToTheConfig) {
  Brain saved = FreshBrain(8);
  const double fitness[8] = {0.4, 0.9, 0.1, 0.8, 0.3, 0.7, 0.2, 0.6};
  for (size_t i = 0; i < 8; ++i) saved.genomes[i].fitness = fitness[i];
  saved.replay.resize(512);
  for (size_t i = 0; i < 512; ++i) saved.replay[i].reward = static_cast<float>(i) / 1024.0f;
  saved.replayWritePos = 600;  // only the low 32 bits are stored, then reduced modulo 512
  const std::string img = BuildBrainImage(saved);
  std::string error;

  Brain same = FreshBrain(1);
  ASSERT_TRUE(ParseBrainFile(img, same, error));
  EXPECT_EQ(same.replayWritePos, 88u);

  BrainConfig four = Defaults();
  four.population = 4;
  four.replaySize = 100;
  Brain fewer = FreshBrain(1, four);
  ASSERT_TRUE(ParseBrainFile(img, fewer, error)) << error;
  ASSERT_EQ(fewer.genomes.size(), 4u);
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(fewer.genomes[i].id, std::vector<uint32_t>({2, 4, 6, 8})[i]);
  ASSERT_EQ(fewer.replay.size(), 100u);
  EXPECT_EQ(fewer.replay[99].reward, 99.0f / 1024.0f);
  EXPECT_EQ(fewer.replayWritePos, 0u);

  BrainConfig twelve = Defaults();
  twelve.population = 12;
  Brain more = FreshBrain(1, twelve);
  ASSERT_TRUE(ParseBrainFile(img, more, error));
  ASSERT_EQ(more.genomes.size(), 12u);
  EXPECT_EQ(more.genomes[8].id, saved.nextGenomeId);
  EXPECT_EQ(more.genomes[11].fitness, 0.5);
}

TEST(BrainFile, DecodeWithoutAnExpectedShapeReadsForeignFiles) {
  BrainConfig other = Defaults();
  other.hiddenLayer1 = 5;
  other.hiddenLayer2 = 0;
  const std::string img = BuildBrainImage(FreshBrain(2, other));
  BrainImage decoded;
  std::string error;
  ASSERT_TRUE(DecodeBrainImage(img, nullptr, decoded, error)) << error;
  EXPECT_EQ(decoded.layerSizes, (std::vector<int32_t>{12, 5, 7}));
  EXPECT_EQ(decoded.genomes.size(), 8u);
  const tactics::NetworkShape defaults = tactics::ShapeOf(Defaults());
  EXPECT_FALSE(DecodeBrainImage(img, &defaults, decoded, error));
  EXPECT_EQ(error, kShapeDiffers);
}

TEST(BrainStatus, StartupLoadTexts) {
  test::TempDir dir;
  const std::string path = dir.File("brain.kvrb");
  Brain brain = FreshBrain(1);
  EXPECT_EQ(LoadBrainAtStartup(brain, path, false), "fresh brain (saving disabled)");
  EXPECT_EQ(LoadBrainAtStartup(brain, path, true), "fresh brain (no saved brain yet)");
  test::WriteFile(path, std::string(10, 'x'));
  EXPECT_EQ(LoadBrainAtStartup(brain, path, true), "fresh brain (file too small)");
  std::string error;
  ASSERT_TRUE(WriteBrainFile(TrainedBrain(50), path, error));
  EXPECT_EQ(LoadBrainAtStartup(brain, path, true), "loaded brain.kvrb: 50 episodes, generation 1");
}

TEST(BrainStatus, SaveTexts) {
  test::TempDir dir;
  const Brain brain = TrainedBrain(50);
  std::string status = kBrainStatusInitial;
  SaveOutcome off = SaveBrainWithStatus(brain, dir.File("brain.kvrb"), "menu", false, status);
  EXPECT_FALSE(off.attempted);
  EXPECT_EQ(status, "not loaded");
  EXPECT_FALSE(std::filesystem::exists(dir.File("brain.kvrb")));

  SaveOutcome ok = SaveBrainWithStatus(brain, dir.File("brain.kvrb"), "autosave", true, status);
  EXPECT_TRUE(ok.attempted && ok.ok);
  EXPECT_EQ(status, "saved (autosave), 50 episodes, generation 1");

  const std::string blocked = dir.File("no-such-folder/brain.kvrb");
  SaveOutcome failed = SaveBrainWithStatus(brain, blocked, "exit", true, status);
  EXPECT_TRUE(failed.attempted);
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(status, "save FAILED: cannot write " + blocked + ".tmp");
}

TEST(BrainStatus, FailedRenameKeepsTheOldFile) {
  test::TempDir dir;
  // A directory in the way of the destination makes the final move fail.
  const std::string path = dir.File("brain.kvrb");
  std::filesystem::create_directories(path + "/inside");
  std::string status;
  const SaveOutcome r = SaveBrainWithStatus(FreshBrain(1), path, "menu", true, status);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(status, "save FAILED: rename failed");
}

}  // namespace
}  // namespace kvr::persistence
