// `kvr-sim play` with the real mod module: the mod hooks the arena's navmesh, passes its live
// self-test, reshapes the thugs' routes (which the thugs then walk), and leaves the queries of
// the engine's other threads as the engine made them.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "posix/run_tool.h"
#include "test_support.h"

namespace {

bool HaveSim() {
  return std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/kvr-sim");
}

// The first number that `pattern`'s group 1 matches in the text, -1 when it does not match.
long long Number(const std::string& text, const std::string& pattern) {
  std::smatch m;
  return std::regex_search(text, m, std::regex(pattern)) ? std::stoll(m[1]) : -1;
}

TEST(KvrSimPlay, TheModHooksTheArenaAndReshapesTheThugsRoutes) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const std::string mod = dir.File("KorvathPalimarNeuralNav");
  const kvr::test::ToolRun r = kvr::test::RunTool(
      "kvr-sim", "play --thugs 6 --minutes 0.5 --seed 3 --nav-cache none --mod-dir " + mod);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex(R"(navmesh \d+ hooked: FindPath RVA 0x[0-9A-F]+ \(same structure, )"
                        R"(different build\), TestPath 0x[0-9A-F]+, TestHierarchical )"
                        R"(0x[0-9A-F]+, Raycast 0x[0-9A-F]+; query extent at \+0x26C )"
                        R"(\(reflection; dump says \+0x26C\) = \(50, 50, 250\))")))
      << r.out;
  EXPECT_NE(r.out.find("path memory layout self-test PASSED on 3 live paths (start point "
                       "matches the query) - reshaping enabled"),
            std::string::npos)
      << r.out;
  EXPECT_GT(Number(r.out, R"(episode ends, (\d+) reshaped routes\))"), 10) << r.out;
  EXPECT_EQ(r.out.find("a fault was caught"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("self-test failed"), std::string::npos) << r.out;
  // The engine's own threads planned beside the game thread, and got the engine's answers.
  EXPECT_GT(Number(r.out, R"(engine threads: (\d+) path queries)"), 0) << r.out;
  EXPECT_EQ(Number(r.out, R"(with a path, (\d+) not as the engine made them)"), 0) << r.out;
}

}  // namespace
