// Level files: the shipped levels load, bad files are refused with a reason, and writing a
// level then reading it back gives the same level.
#include <gtest/gtest.h>

#include "sim/nav/level.h"
#include "test_support.h"

namespace {

using kvr::sim::Level;

TEST(Level, ShippedLevelsLoad) {
  Level arena, large;
  std::string error;
  ASSERT_TRUE(kvr::sim::LoadLevelFile(kvr::sim::LevelPath("arena"), arena, error)) << error;
  EXPECT_EQ(arena.name, "arena");
  EXPECT_FLOAT_EQ(arena.floorMinX, -3000.0f);
  EXPECT_FLOAT_EQ(arena.floorMaxY, 3000.0f);
  EXPECT_FLOAT_EQ(arena.floorZ, 0.0f);
  EXPECT_GE(arena.boxes.size(), 4u);
  EXPECT_GE(arena.walls.size(), 4u);
  ASSERT_TRUE(kvr::sim::LoadLevelFile(kvr::sim::LevelPath("large"), large, error)) << error;
  EXPECT_GT(large.boxes.size() + large.walls.size(), 100u);
  EXPECT_GT(large.floorMaxX - large.floorMinX, arena.floorMaxX - arena.floorMinX);
}

TEST(Level, BadFilesAreRefusedWithAReason) {
  const char* bad[] = {
      "",
      "{",
      "[]",
      R"({"name": "x"})",
      R"({"floor": {"min": [0, 0], "max": [100, 100]}})",
      R"({"floor": {"min": [100, 0], "max": [0, 100], "z": 0}})",
      R"({"floor": {"min": [0, 0], "max": [100, "a"], "z": 0}})",
      R"({"floor": {"min": [0, 0], "max": [1e30, 100], "z": 0}})",
      R"({"floor": {"min": [0, 0], "max": [100, 100], "z": 0}, "boxes": {}})",
      R"({"floor": {"min": [0, 0], "max": [100, 100], "z": 0}, "boxes": [{"min": [0, 0, 0]}]})",
      R"({"floor": {"min": [0, 0], "max": [100, 100], "z": 0},
          "boxes": [{"min": [0, 0, 0], "max": [10, 10, 0]}]})",
      R"({"floor": {"min": [0, 0], "max": [100, 100], "z": 0},
          "walls": [{"from": [0, 0], "to": [0, 0], "thickness": 10, "height": 100}]})",
      R"({"floor": {"min": [0, 0], "max": [100, 100], "z": 0},
          "walls": [{"from": [0, 0], "to": [50, 0], "thickness": -1, "height": 100}]})",
      R"({"floor": {"min": [0, 0], "max": [100, 100], "z": 0}, "walls": [7]})",
  };
  for (const char* text : bad) {
    Level level;
    level.name = "untouched";
    std::string error;
    EXPECT_FALSE(kvr::sim::ParseLevel(text, level, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(level.name, "untouched") << text;
  }
}

// A user's typing mistakes, each named as such rather than as something else.
TEST(Level, MistakesAreNamedExactly) {
  const std::string floor = R"("floor": {"min": [-1000, -1000], "max": [1000, 1000], "z": 0})";
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"{" + floor + R"(, "boxs": [{"min": [0, 0, 0], "max": [10, 10, 10]}]})",
       R"(unknown key "boxs" (known: "name", "floor", "boxes", "walls", "player", "spawns"))"},
      {"{" + floor +
           R"(, "walls": [{"from": [0, 0], "to": [50, 0], "thickness": 9, "hieght": 1}]})",
       R"(unknown key "hieght" in a wall (known: "from", "to", "thickness", "height"))"},
      {"{" + floor + R"(, "player": {"start": [60000, 0]}})",
       "player start (60000, 0) is outside the floor (x -1000 .. 1000, y -1000 .. 1000)"},
      {"{" + floor + R"(, "player": {"start": [1500, 0]}})",
       "player start (1500, 0) is outside the floor (x -1000 .. 1000, y -1000 .. 1000)"},
      {"{" + floor + R"(, "player": {"start": [990, 0]}})",
       "player start (990, 0) is within 34 cm of the floor's edge"},
      {"{" + floor + R"(, "player": {"start": [0, 0], "patrol": [[0, 10], [0, 4000]]}})",
       "patrol point 2 (0, 4000) is outside the floor (x -1000 .. 1000, y -1000 .. 1000)"},
      {"{" + floor + R"(, "player": {"begin": [0, 0]}})",
       R"(unknown key "begin" in "player" (known: "start", "patrol"))"},
  };
  for (const auto& c : cases) {
    Level level;
    std::string error;
    EXPECT_FALSE(kvr::sim::ParseLevel(c.text, level, error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
  // A file with a syntax error on its third line says where.
  kvr::test::TempDir dir;
  const std::string path = dir.File("level.json");
  kvr::test::WriteFile(path, "{\n  " + floor + ",\n  \"boxes\": [}\n");
  Level level;
  std::string error;
  ASSERT_FALSE(kvr::sim::LoadLevelFile(path, level, error));
  EXPECT_EQ(error.rfind(path + ": the level is not valid JSON at line 3, column 13: ", 0), 0u)
      << error;
}

TEST(Level, WriteThenReadGivesTheSameLevel) {
  Level level;
  level.name = "round trip";
  level.floorMinX = -500, level.floorMinY = -400, level.floorMaxX = 600, level.floorMaxY = 700;
  level.floorZ = 25;
  level.boxes.push_back({{-10, -20, 25}, {30, 40, 225.5f}});
  level.walls.push_back({0, 0, 300, 200, 40, 250});
  kvr::test::TempDir dir;
  std::string error;
  ASSERT_TRUE(kvr::sim::SaveLevelFile(dir.File("level.json"), level, error)) << error;
  Level back;
  ASSERT_TRUE(kvr::sim::LoadLevelFile(dir.File("level.json"), back, error)) << error;
  EXPECT_EQ(back.name, level.name);
  EXPECT_EQ(back.floorMinX, level.floorMinX);
  EXPECT_EQ(back.floorMaxY, level.floorMaxY);
  EXPECT_EQ(back.floorZ, level.floorZ);
  ASSERT_EQ(back.boxes.size(), 1u);
  EXPECT_EQ(back.boxes[0].max.z, 225.5f);
  ASSERT_EQ(back.walls.size(), 1u);
  EXPECT_EQ(back.walls[0].toY, 200.0f);
  EXPECT_EQ(back.walls[0].thickness, 40.0f);
  EXPECT_FALSE(kvr::sim::LoadLevelFile(dir.File("missing.json"), back, error));
  EXPECT_NE(error.find("missing.json"), std::string::npos);
}

TEST(Level, ObstacleFootprintsCoverBoxesAndTurnedWalls) {
  Level level;
  level.floorMaxX = level.floorMaxY = 1000;
  level.boxes.push_back({{100, 100, 0}, {200, 200, 300}});
  level.walls.push_back({500, 500, 800, 800, 40, 300});  // diagonal, 20 cm either side
  EXPECT_TRUE(kvr::sim::InsideObstacle(level, 150, 150, 0));
  EXPECT_FALSE(kvr::sim::InsideObstacle(level, 250, 150, 0));
  EXPECT_TRUE(kvr::sim::InsideObstacle(level, 250, 150, 60));
  EXPECT_TRUE(kvr::sim::InsideObstacle(level, 650, 650, 0));
  EXPECT_TRUE(kvr::sim::InsideObstacle(level, 660, 640, 0));   // 14 cm off the centre line
  EXPECT_FALSE(kvr::sim::InsideObstacle(level, 680, 620, 0));  // 42 cm off
  EXPECT_FALSE(kvr::sim::InsideObstacle(level, 830, 830, 0));  // beyond the end
  EXPECT_TRUE(kvr::sim::InsideObstacle(level, 830, 830, 50));
  const auto obstacles = kvr::sim::LevelObstacles(level);
  ASSERT_EQ(obstacles.size(), 2u);
  EXPECT_EQ(obstacles[1].maxZ, 300.0f);
}

}  // namespace
