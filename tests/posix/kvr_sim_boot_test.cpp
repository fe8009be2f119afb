// `kvr-sim boot` as a user runs it: what it says about the faults it injects and about the
// window it does not have.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "posix/run_tool.h"
#include "test_support.h"

namespace {

using kvr::test::RunTool;
using kvr::test::ToolRun;

ToolRun Boot(const kvr::test::TempDir& dir, int faults) {
  return RunTool("kvr-sim", "boot --mod-dir " + dir.Path().string() +
                                " --ticks 40 --frame-seconds 0.6 --inject-faults " +
                                std::to_string(faults));
}

TEST(KvrSimBoot, SaysHowManyFaultsItInjectedAndHowManyWereCaughtEveryTime) {
  if (!std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/kvr-sim"))
    GTEST_SKIP() << "kvr-sim is not built";
  const struct {
    int asked;
    std::string line;
  } cases[] = {
      {0, "faults: 0 asked for, 0 injected, 0 caught by the mod\n"},
      {3, "faults: 3 asked for, 3 injected, 3 caught by the mod\n"},
      // The twentieth fault makes the mod step aside: it asks the engine for nothing more.
      {25,
       "faults: 25 asked for, 20 injected, 20 caught by the mod (the mod looked up no more "
       "objects after 20)\n"},
  };
  for (const auto& c : cases) {
    kvr::test::TempDir dir;
    const ToolRun r = Boot(dir, c.asked);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
  }
}

TEST(KvrSimBoot, WithoutAWindowItSaysSoPlainly) {
  if (!std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/kvr-sim"))
    GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const ToolRun r = Boot(dir, 0);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\nno window to draw on: the overlay stays off\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
}

}  // namespace
