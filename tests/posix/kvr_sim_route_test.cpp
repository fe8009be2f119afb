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

using kvr::test::HaveSim;
using kvr::test::RunSim;

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
  // A legend names what is drawn, a scale bar gives the size.
  for (const char* text : {">engine route</text>", ">Wide Left route</text>", ">obstacle</text>",
                           ">10 m</text>", ">white dot: start, black dot: goal</text>"})
    EXPECT_NE(svg.find(text), std::string::npos) << text;
}

// A user's config.ini decides the preview as it decides the game: MinArcDistance and ArcPaths
// keep the engine route, the arc settings change the shape.
TEST(KvrSimRoute, ConfigShapesThePreviewAsInTheGame) {
  if (!HaveSim()) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const std::string trip = "route --from -2000,-1000,0 --to 2000,500,0 --style 1 --json";
  const auto json = [](const SimRun& r) { return nlohmann::json::parse(r.out, nullptr, false); };
  const SimRun plain = RunSim(trip);
  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_EQ(json(plain)["reshaped"], true);

  kvr::test::WriteFile(dir.File("far.ini"), "[Pathfinding]\r\nMinArcDistance = 5000\r\n");
  const auto far = json(RunSim(trip + " --config " + dir.File("far.ini")));
  EXPECT_EQ(far["reshaped"], false);
  EXPECT_EQ(far["route"], far["engine"]);
  EXPECT_EQ(far["keptBecause"],
            "the trip (4272 cm) is shorter than MinArcDistance = 5000: the mod keeps the engine's "
            "route");

  kvr::test::WriteFile(dir.File("off.ini"), "[Pathfinding]\r\nArcPaths = 0\r\n");
  const SimRun off = RunSim(trip.substr(0, trip.size() - 7) + " --config " + dir.File("off.ini"));
  EXPECT_NE(off.out.find("settings: ArcPaths = 0: the mod keeps the engine's routes"),
            std::string::npos)
      << off.out;

  kvr::test::WriteFile(dir.File("wide.ini"), "[Pathfinding]\r\nArcAmplitude = 0.8\r\n");
  const auto wide = json(RunSim(trip + " --config " + dir.File("wide.ini")));
  EXPECT_EQ(wide["reshaped"], true);
  EXPECT_NE(wide["route"], json(plain)["route"]);

  const SimRun missing = RunSim(trip + " --config " + dir.File("none.ini"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("config.ini not found"), std::string::npos) << missing.out;
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
