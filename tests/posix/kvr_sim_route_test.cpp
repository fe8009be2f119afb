// `kvr-sim route` as a modder runs it: styles on the default arena as JSON, the picture,
// and bad input answered with one line and exit status 2.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "posix/run_tool.h"
#include "test_support.h"

namespace {

using SimRun = kvr::test::ToolRun;

SimRun RunSim(const std::string& args) {
  return kvr::test::RunTool("kvr-sim", args);
}

bool HaveSim() {
  return std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/kvr-sim");
}

TEST(KvrSimRoute, StylesOnTheDefaultArenaAsJson) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  // Direct, a single arc and a weave; all seven run in-process in arc_detour_test.cpp.
  for (int style : {0, 2, 5}) {
    const SimRun r = RunSim("route --level default --from -2000,-1000,0 --to 2000,500,0 --style " +
                            std::to_string(style) + " --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << r.out;
    EXPECT_EQ(j["style"], style);
    EXPECT_EQ(j["reshaped"], style != 0);
    EXPECT_GE(j["route"].size(), style == 0 ? 2u : 3u);
    EXPECT_EQ(j["engine"][0][0], -2000.0);
    EXPECT_TRUE(j["stats"].contains("humpsAccepted"));
  }
}

TEST(KvrSimRoute, TextAndPicture) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const SimRun r =
      RunSim("route --from -2000,-1000,0 --to 2000,500,0 --style 3 --svg " + dir.File("wide.svg"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("engine route: 2 points"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("reshaped route:"), std::string::npos);
  EXPECT_NE(r.out.find("<- apex"), std::string::npos);
  EXPECT_NE(r.out.find("builder: succeeded"), std::string::npos);
  const std::string svg = kvr::test::ReadFile(dir.File("wide.svg"));
  EXPECT_NE(svg.find("stroke=\"#FF8040\""), std::string::npos);  // Wide Left's colour
  EXPECT_NE(svg.find(">apex</text>"), std::string::npos);
}

TEST(KvrSimRoute, BadInputGetsOneLineAndStatusTwo) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  const char* bad[] = {
      "route --level /nonexistent/level.json --from 0,0,0 --to 500,0,0",
      "route --from 0,0 --to 500,0,0",
      "route --from 0,0,0 --to 500,zero,0",
      "route --from 0,0,0 --to 500,0,0,7",
      "route --from 1200,1200,0 --to 0,0,0",  // inside a pillar
      "route --from 0,0,0 --to 2000,2000,0",  // the closed room
      "route --from 0,0,0 --to 500,0,0 --style 9",
      "route --from 0,0,0",
      "route --from 0,0,0 --to 500,0,0 --bogus",
  };
  for (const char* args : bad) {
    const SimRun r = RunSim(args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    ASSERT_FALSE(r.out.empty()) << args;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << args << "\n" << r.out;
  }
}

}  // namespace
