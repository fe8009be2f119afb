// The camera that follows the player never sits inside a box or wall of the level: cast from
// above the player towards where the camera wants to be, it stops short of the first obstacle,
// and a clear view leaves it exactly where the rules put it. Checked against the shipped
// arena's own walls and boxes, and through the arena's camera manager as the mod reads it.
#include <gtest/gtest.h>

#include "arena_fixture.h"
#include "sim/arena/arena_view.h"
#include "sim/nav/obstacle_ray.h"

namespace kvr::test {
namespace {

sim::Level ShippedArena() {
  sim::Level level;
  std::string error;
  EXPECT_TRUE(sim::LoadLevelFile(sim::LevelPath("arena"), level, error)) << error;
  return level;
}

// Strictly inside a box or wall, or nearer to one than `margin` cm, at this height.
bool InsideAny(const std::vector<sim::Obstacle>& obstacles, const aps::Vec3& p, float margin) {
  return sim::FirstObstacleHit(obstacles, p, p, margin) == 0.0f;
}

TEST(CameraBoom, StopsInFrontOfTheFirstWallAndLeavesAClearViewAlone) {
  const sim::Level level = ShippedArena();
  const std::vector<sim::Obstacle> obstacles = sim::LevelObstacles(level);
  // The wall from (-2400, 600) to (-1400, 600), 40 cm thick and 300 high, between a player
  // north of it and a camera that wants to sit south of it.
  const aps::Vec3 pivot{-1900, 900, 250}, behind{-1900, 450, 250};
  ASSERT_TRUE(InsideAny(obstacles, {-1900, 600, 250}, 0.0f));
  const aps::Vec3 camera = sim::PullCameraIn(obstacles, pivot, behind);
  EXPECT_FLOAT_EQ(camera.x, -1900.0f);
  EXPECT_NEAR(camera.y, 600.0f + 20.0f + sim::kCameraClearance, 0.01f);
  EXPECT_FLOAT_EQ(camera.z, 250.0f);
  EXPECT_FALSE(InsideAny(obstacles, camera, sim::kCameraClearance - 1.0f));

  // Nothing between: the camera stays exactly where it wanted to be.
  const aps::Vec3 open = sim::PullCameraIn(obstacles, {300, 0, 250}, {-150, 0, 250});
  EXPECT_EQ(open.x, -150.0f);
  EXPECT_EQ(open.y, 0.0f);
  EXPECT_EQ(open.z, 250.0f);
  EXPECT_EQ(sim::FirstObstacleHit(obstacles, {300, 0, 250}, {-150, 0, 250}, 30.0f), 1.0f);
}

TEST(CameraBoom, LooksOverLowBoxesAndAroundThePillarsCorners) {
  const std::vector<sim::Obstacle> obstacles = sim::LevelObstacles(ShippedArena());
  // The low box (-700..-500, -300..300, 120 high): a camera at 250 looks over it, one at 100
  // stops in front of its east face.
  const aps::Vec3 high = sim::PullCameraIn(obstacles, {-300, 0, 250}, {-900, 0, 250});
  EXPECT_EQ(high.x, -900.0f);
  const aps::Vec3 low = sim::PullCameraIn(obstacles, {-300, 0, 100}, {-900, 0, 100});
  EXPECT_NEAR(low.x, -500.0f + sim::kCameraClearance, 0.01f);
  // Diagonally at the pillar (-1250..-1150, -1250..-1150, 400 high): stopped where the line
  // first comes within the clearance of it, and never inside it.
  const aps::Vec3 diagonal = sim::PullCameraIn(obstacles, {-800, -800, 250}, {-1600, -1600, 250});
  EXPECT_NEAR(diagonal.x, -1150.0f + sim::kCameraClearance, 0.01f);
  EXPECT_NEAR(diagonal.y, diagonal.x, 0.01f);
  // A line that passes beside the pillar, further than the clearance, is left alone.
  const aps::Vec3 beside = sim::PullCameraIn(obstacles, {-1100, -800, 250}, {-1100, -1600, 250});
  EXPECT_EQ(beside.y, -1600.0f);
  // Wanted and followed point both within the clearance: the camera goes no further than
  // the point it follows.
  const aps::Vec3 pressed = sim::PullCameraIn(obstacles, {-1135, -1200, 250}, {-1600, -1200, 250});
  EXPECT_EQ(pressed.x, -1135.0f);
}

// What a picture's place file says about a body: how many of its sight lines from the camera
// the level's walls cut.
TEST(CameraBoom, SightLinesToBodiesTellHiddenFromPartlyFromInPlainView) {
  const std::vector<sim::Obstacle> obstacles = sim::LevelObstacles(ShippedArena());
  // South of the wall at y = 600 (x -2400..-1400), looking north across it.
  game::CameraView camera;
  camera.location = {-1900, 200, 250};
  camera.rotation = {-15, 90, 0};
  camera.fov = 90;
  camera.aspectRatioAxisConstraint = 1;
  camera.valid = true;
  const std::vector<aps::Vec3> feet = {
      {-1900, 1000, 0},  // right behind the wall
      {-820, 1000, 0},   // seen past its east end: one side is hidden
      {-1900, 450, 0},   // in front of it
  };
  const auto bodies = sim::ProjectBodies(feet, camera, 1280, 720, &obstacles);
  ASSERT_EQ(bodies.size(), 3u);
  EXPECT_EQ(bodies[0].blocked, sim::kBodySightLines);
  EXPECT_GT(bodies[1].blocked, 0);
  EXPECT_LT(bodies[1].blocked, sim::kBodySightLines);
  EXPECT_EQ(bodies[2].blocked, 0);
  const std::string text = sim::FormatScreenBodies("thug", bodies);
  EXPECT_NE(text.find(" hidden\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" partly\n"), std::string::npos) << text;
  // Without the obstacles nothing is said about sight.
  const auto plain = sim::ProjectBodies(feet, camera, 1280, 720);
  EXPECT_EQ(sim::FormatScreenBodies("thug", plain).find("hidden"), std::string::npos);
}

class ArenaCamera : public ArenaTest {};

TEST_F(ArenaCamera, ThePlayersCameraIsPulledInFrontOfTheWallBehindThePlayer) {
  auto arena = Start(StillRules(), 1);
  ASSERT_TRUE(arena);
  const sim::ArenaRules& rules = arena->Rules();
  const std::vector<sim::Obstacle> obstacles = sim::LevelObstacles(Arena().level);
  // Facing north (+y) a little north of the wall at y = 600: the camera would be in it.
  arena->PlacePlayer({-1900, 750, 0}, 90.0f);
  arena->Run(0.1);
  game::CameraView view = sim::PlayerCameraView(world_, arena->Player());
  ASSERT_TRUE(view.valid);
  EXPECT_NEAR(view.location.y, 620.0f + sim::kCameraClearance, 0.5f);
  EXPECT_NEAR(view.location.x, -1900.0f, 0.5f);
  EXPECT_NEAR(view.location.z, rules.cameraHeight, 1.0f);  // the player stands on the navmesh
  EXPECT_FALSE(InsideAny(obstacles, view.location, sim::kCameraClearance - 1.0f));
  // In the open it sits the rules' distance behind the player.
  arena->PlacePlayer({300, 0, 0}, 0.0f);
  arena->Run(0.1);
  view = sim::PlayerCameraView(world_, arena->Player());
  EXPECT_NEAR(view.location.x, 300.0f - rules.cameraDistance, 0.5f);
  EXPECT_NEAR(view.location.y, 0.0f, 0.5f);
}

}  // namespace
}  // namespace kvr::test
