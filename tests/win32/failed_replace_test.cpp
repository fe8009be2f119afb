// On Windows a save can fail at the final move: another program holds the old file open without
// letting it be replaced. The save reports it and the old file stays exactly as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include "persistence/brain_file.h"
#include "platform/text.h"
#include "test_support.h"

namespace kvr {
namespace {

TEST(FailedReplace, AnOldBrainHeldOpenByAnotherProgramStaysAsItWas) {
  test::TempDir dir;
  const std::string path = dir.File("brain.kvrb");
  tactics::Brain brain;
  brain.Configure(tactics::MakeBrainConfig(Settings{}), 31);
  std::string error;
  ASSERT_TRUE(persistence::WriteBrainFile(brain, path, error)) << error;
  const std::string old = test::ReadFile(path);

  HANDLE held = CreateFileW(platform::Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  brain.totalEpisodes = 7;
  EXPECT_FALSE(persistence::WriteBrainFile(brain, path, error));
  EXPECT_EQ(error, "rename failed");
  CloseHandle(held);
  EXPECT_EQ(test::ReadFile(path), old);
  // Once the other program lets go, the next save goes through.
  EXPECT_TRUE(persistence::WriteBrainFile(brain, path, error)) << error;
}

}  // namespace
}  // namespace kvr
