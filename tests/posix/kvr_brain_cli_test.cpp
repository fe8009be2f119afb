// kvr-brain as a user runs it: exit statuses, verdicts and output shapes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "posix/run_tool.h"
#include "test_support.h"

namespace {

using CliRun = kvr::test::ToolRun;

CliRun Brain(const std::string& args) {
  return kvr::test::RunTool("kvr-brain", args);
}

size_t Lines(const std::string& s) {
  return static_cast<size_t>(std::count(s.begin(), s.end(), '\n'));
}

class KvrBrainCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/kvr-brain"))
      GTEST_SKIP() << "kvr-brain is not built (KVR_BUILD_APPS=OFF)";
  }
  kvr::test::TempDir dir;
};

TEST_F(KvrBrainCli, NewInfoAndDump) {
  const std::string file = dir.File("b.kvrb");
  ASSERT_EQ(Brain("new --seed 0 --out " + file).status, 0);
  EXPECT_EQ(std::filesystem::file_size(file), 16515u);
  const CliRun info = Brain("info " + file);
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("verdict: loadable"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("genomes: 8"), std::string::npos);
  const CliRun dump = Brain("dump " + file);
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(Lines(dump.out), 8u * (468 + 35));
  EXPECT_EQ(dump.out.substr(0, 5), "0 w0 ");

  // The same seed gives the same bytes.
  const std::string again = dir.File("again.kvrb");
  ASSERT_EQ(Brain("new --seed 0x0 --out " + again).status, 0);
  EXPECT_EQ(kvr::test::ReadFile(file), kvr::test::ReadFile(again));
}

TEST_F(KvrBrainCli, InfoRejectsWhatTheModWouldReject) {
  const std::string file = dir.File("b.kvrb");
  const std::string ini = dir.File("config.ini");
  kvr::test::WriteFile(ini, "[NeuralNet]\nHiddenLayer2 = 0\n");
  ASSERT_EQ(Brain("new --seed 7 --out " + file).status, 0);
  const CliRun shape = Brain("info " + file + " --config " + ini);
  EXPECT_EQ(shape.status, 2);
  EXPECT_NE(shape.out.find("rejected: network shape differs from config.ini"), std::string::npos);
  std::string bytes = kvr::test::ReadFile(file);
  bytes[300] = static_cast<char>(bytes[300] ^ 1);
  kvr::test::WriteFile(file, bytes);
  const CliRun damaged = Brain("info " + file);
  EXPECT_EQ(damaged.status, 2);
  EXPECT_NE(damaged.out.find("rejected: checksum mismatch (file damaged)"), std::string::npos);
  EXPECT_EQ(Brain("dump " + file).status, 2);
}

TEST_F(KvrBrainCli, BadArgumentsGiveOneLineAndStatusTwo) {
  for (const char* args : {"", "info", "new --out x.kvrb", "new --seed -3 --out x.kvrb",
                           "new --seed 12abc --out x.kvrb", "frobnicate"}) {
    const CliRun r = Brain(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(Lines(r.out), 1u) << args << ": " << r.out;
  }
}

}  // namespace
