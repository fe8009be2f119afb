// Saves that survive being killed: a child process saves brain.kvrb and config.ini in a loop and
// is killed at random moments (SIGKILL, TerminateProcess on Windows). After every kill both
// files must load and be exactly one complete save: the one seen before the kill or a later
// one of the child's sequence, never damaged, never missing, never older.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "child_process.h"
#include "persistence/brain_file.h"
#include "platform/file.h"
#include "settings/config_ini.h"
#include "test_support.h"

namespace kvr {
namespace {

constexpr const char* kDirVariable = "KVR_KILL_TEST_DIR";
constexpr const char* kStartVariable = "KVR_KILL_TEST_START";

// Save number n of the sequence. Its size changes with n (replay records), so a file made of
// two saves, or cut short, cannot pass for a complete one.
tactics::Brain BrainOfSave(uint64_t n) {
  tactics::Brain brain;
  brain.Configure(tactics::MakeBrainConfig(Settings{}), 1000 + n % 7);
  brain.totalEpisodes = n;
  brain.replay.resize(static_cast<size_t>(n % 97));
  for (size_t i = 0; i < brain.replay.size(); ++i) {
    brain.replay[i].style = static_cast<uint8_t>(i % 7);
    brain.replay[i].reward = static_cast<float>(i % 10) / 10.0f;
  }
  return brain;
}

Settings SettingsOfSave(uint64_t n) {
  Settings s;
  SetSettingValue(s, kSettingPopulation, static_cast<double>(1 + n % 32));
  SetSettingValue(s, kSettingMenuScale, 0.75 + static_cast<double>(n % 100) / 100.0);
  return s;
}

std::string StartedMarker(const std::string& dir, uint64_t start) {
  return dir + "/started-" + std::to_string(start);
}

void Save(const std::string& dir, uint64_t n) {
  std::string error;
  persistence::WriteBrainFile(BrainOfSave(n), dir + "/brain.kvrb", error);
  WriteConfigIni(dir + "/config.ini", SettingsOfSave(n));
}

// The child: tells the parent it is running, then saves until it is killed. Runs before main
// when the test program is started with the kill test's variables, so the child never reaches
// GoogleTest.
[[noreturn]] void SaveUntilKilled(const std::string& dir, uint64_t start) {
  test::WriteFile(StartedMarker(dir, start), "1");
  for (uint64_t n = start;; ++n) Save(dir, n);
}

const bool g_isSavingChild = [] {
  const char* dir = std::getenv(kDirVariable);
  const char* start = std::getenv(kStartVariable);
  if (dir && start) SaveUntilKilled(dir, std::strtoull(start, nullptr, 10));
  return false;
}();

// The save number of a complete brain file, or -1 when the file is missing, damaged, or not
// byte for byte the save its counter names.
int64_t CompleteBrainSave(const std::string& path) {
  std::string bytes, error;
  if (!platform::ReadWholeFile(path, bytes)) return -1;
  persistence::BrainImage image;
  if (!persistence::DecodeBrainImage(bytes, nullptr, image, error)) return -1;
  const uint64_t n = image.totalEpisodes;
  return persistence::BuildBrainImage(BrainOfSave(n)) == bytes ? static_cast<int64_t>(n) : -1;
}

// True when config.ini is complete: every setting read and the text exactly what the writer
// makes of them.
bool CompleteConfig(const std::string& path) {
  std::string text;
  if (!platform::ReadWholeFile(path, text)) return false;
  Settings s;
  ConfigReport report;
  ApplyConfigIniText(text, s, &report);
  return report.read == kSettingCount && report.unreadable == 0 && BuildConfigIniText(s) == text;
}

int KillRounds() {
  const char* rounds = std::getenv("KVR_KILL_TEST_ROUNDS");
  return rounds ? std::max(1, std::atoi(rounds)) : 200;
}

TEST(SaveKill, FilesSurviveAChildKilledWhileSaving) {
  ASSERT_FALSE(g_isSavingChild);
  test::TempDir dir;
  const std::string folder = dir.Path().string();
  const std::string brainPath = dir.File("brain.kvrb"), configPath = dir.File("config.ini");
  std::string error;
  ASSERT_TRUE(persistence::WriteBrainFile(BrainOfSave(0), brainPath, error)) << error;
  ASSERT_TRUE(WriteConfigIni(configPath, SettingsOfSave(0)));

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delayMicros(0, 40000);
  int64_t last = 0;
  int midSave = 0;   // kills that caught a save between its temporary file and the move
  int advanced = 0;  // kills after at least one complete save of the child
  const int rounds = KillRounds();
  for (int round = 0; round < rounds; ++round) {
    const uint64_t start = static_cast<uint64_t>(last) + 1;
    test::ChildProcess child;
    ASSERT_TRUE(
        test::StartSelf({{kDirVariable, folder}, {kStartVariable, std::to_string(start)}}, child));
    // Kill at a random point of the child's saves, once it runs.
    for (int wait = 0; wait < 30000 && !std::filesystem::exists(StartedMarker(folder, start));
         ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
    test::KillChild(child);
    std::filesystem::remove(StartedMarker(folder, start));

    midSave +=
        std::filesystem::exists(brainPath + ".tmp") || std::filesystem::exists(configPath + ".tmp");
    const int64_t now = CompleteBrainSave(brainPath);
    ASSERT_TRUE(now == last || now >= static_cast<int64_t>(start))
        << "round " << round << ": brain.kvrb is save " << now << " after save " << last;
    ASSERT_TRUE(CompleteConfig(configPath)) << "round " << round << ": config.ini is damaged";
    advanced += now != last;
    last = now;
  }
  std::printf("%d kills: %d in the middle of a save, %d after a complete one; last save %lld\n",
              rounds, midSave, advanced, static_cast<long long>(last));
  EXPECT_GT(midSave, 0) << "no kill landed inside a save";
  EXPECT_GT(advanced, 0) << "no kill came after a complete save";
}

}  // namespace
}  // namespace kvr
