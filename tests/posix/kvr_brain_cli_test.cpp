// kvr-brain as a user runs it: exit statuses, verdicts and output shapes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
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

TEST_F(KvrBrainCli, NewKeepsAnExistingFileUnlessForced) {
  const std::string file = dir.File("brain.kvrb");
  kvr::test::WriteFile(file, "hours of learning");
  const CliRun refused = Brain("new --seed 1 --out " + file);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.out, "kvr-brain: " + file + " already exists; add --force to replace it\n");
  EXPECT_EQ(kvr::test::ReadFile(file), "hours of learning");
  ASSERT_EQ(Brain("new --seed 1 --force --out " + file).status, 0);
  EXPECT_EQ(Brain("info " + file).status, 0);
}

// compare reads two brains of any shape; the same brain moved nowhere, another seed's did.
TEST_F(KvrBrainCli, CompareShowsCountersWeightsAndPreferences) {
  const std::string a = dir.File("a.kvrb"), b = dir.File("b.kvrb"), c = dir.File("c.kvrb");
  const std::string ini = dir.File("small.ini");
  kvr::test::WriteFile(ini, "[NeuralNet]\nHiddenLayer2 = 0\nPopulation = 4\n");
  ASSERT_EQ(Brain("new --seed 1 --out " + a).status, 0);
  ASSERT_EQ(Brain("new --seed 2 --out " + b).status, 0);
  ASSERT_EQ(Brain("new --seed 3 --config " + ini + " --out " + c).status, 0);

  const CliRun same = Brain("compare " + a + " " + a);
  ASSERT_EQ(same.status, 0) << same.out;
  EXPECT_NE(same.out.find("A: " + a + "\nB: " + a + "\n"), std::string::npos) << same.out;
  EXPECT_NE(same.out.find("0.000000 / 0.000000"), std::string::npos);
  EXPECT_EQ(same.out.find("(differs)"), std::string::npos);
  EXPECT_NE(same.out.find("player not facing, long trip, no allies near:"), std::string::npos);

  const CliRun other = Brain("compare " + a + " " + b);
  ASSERT_EQ(other.status, 0) << other.out;
  EXPECT_EQ(other.out.find("0.000000 / 0.000000"), std::string::npos) << other.out;
  EXPECT_NE(other.out.find("shape            12-16-12-7               12-16-12-7"),
            std::string::npos)
      << other.out;

  const CliRun shapes = Brain("compare " + a + " " + c);
  ASSERT_EQ(shapes.status, 0) << shapes.out;
  EXPECT_NE(shapes.out.find("12-16-12-7               12-16-7"), std::string::npos) << shapes.out;
  EXPECT_NE(shapes.out.find("shapes differ"), std::string::npos);
  EXPECT_NE(shapes.out.find("only in A: 5 6 7 8"), std::string::npos) << shapes.out;

  kvr::test::WriteFile(dir.File("bad.kvrb"), "not a brain");
  const CliRun bad = Brain("compare " + a + " " + dir.File("bad.kvrb"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "kvr-brain: " + dir.File("bad.kvrb") + ": file too small\n");
}

TEST_F(KvrBrainCli, InfoAsJsonAndThePreferenceSummary) {
  const std::string file = dir.File("b.kvrb");
  ASSERT_EQ(Brain("new --seed 5 --out " + file).status, 0);
  const CliRun text = Brain("info " + file);
  EXPECT_NE(text.out.find("preferred style (fittest genome; how all 8 networks vote):"),
            std::string::npos)
      << text.out;
  const CliRun run = Brain("info --json " + file);
  ASSERT_EQ(run.status, 0) << run.out;
  const auto j = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_FALSE(j.is_discarded()) << run.out;
  EXPECT_EQ(j["verdict"], "loadable");
  EXPECT_EQ(j["shape"], nlohmann::json::array({12, 16, 12, 7}));
  EXPECT_EQ(j["genomes"].size(), 8u);
  EXPECT_EQ(j["styles"][1]["name"], "Arc Left");
  EXPECT_TRUE(j["styles"][1]["averageReward"].is_null());
  ASSERT_EQ(j["preferences"].size(), 8u);
  // Each situation's style in the JSON is the one the text names for it.
  for (const auto& p : j["preferences"]) {
    const std::string situation = p["situation"];
    const size_t at = text.out.find("  " + situation + ":");
    ASSERT_NE(at, std::string::npos) << situation;
    EXPECT_EQ(text.out.substr(at + 50, p["style"].get<std::string>().size()), p["style"])
        << text.out.substr(at, 80);
  }
  const CliRun rejected = Brain("info --json " + dir.File("none.kvrb"));
  EXPECT_EQ(rejected.status, 2);
  EXPECT_EQ(nlohmann::json::parse(rejected.out)["verdict"], "rejected: no saved brain yet");
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
