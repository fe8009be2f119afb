// A level of the simulated engine: a flat rectangular floor with solid boxes and walls on it.
//
// Levels live as small JSON files in data/levels/ (engine centimetres, Z up):
//   {
//     "name": "arena",
//     "floor": {"min": [-3000, -3000], "max": [3000, 3000], "z": 0},
//     "boxes": [{"min": [x, y, z], "max": [x, y, z]}, ...],
//     "walls": [{"from": [x, y], "to": [x, y], "thickness": 40, "height": 300}, ...],
//     "player": {"start": [x, y], "patrol": [[x, y], ...]},
//     "spawns": [[x, y], ...]
//   }
// Boxes are axis-aligned; walls stand on the floor and may run in any direction. Everything
// that is not floor is an obstacle: agents walk around it, never on it.
// "player" (where the player starts and the waypoints of its patrol) and "spawns" (where thugs
// appear) are optional: a level without them is only a map, the arena needs them. Each such
// point lies on the floor, at least kLevelAgentMargin from its edge and from every obstacle.
#pragma once
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "aps/aps.h"

namespace kvr::sim {

struct LevelBox {
  aps::Vec3 min;
  aps::Vec3 max;
};

struct LevelWall {
  float fromX = 0.0f, fromY = 0.0f;
  float toX = 0.0f, toY = 0.0f;
  float thickness = 0.0f;
  float height = 0.0f;
};

struct Level {
  std::string name;
  float floorMinX = 0.0f, floorMinY = 0.0f;
  float floorMaxX = 0.0f, floorMaxY = 0.0f;
  float floorZ = 0.0f;
  std::vector<LevelBox> boxes;
  std::vector<LevelWall> walls;
  // Points on the floor (z = floorZ).
  bool hasPlayerStart = false;
  aps::Vec3 playerStart;
  std::vector<aps::Vec3> patrol;
  std::vector<aps::Vec3> spawns;
};

// How far a player start, patrol point or spawn stays from the floor's edge and from obstacles
// (the navmesh's agent radius: closer points are not on the navmesh).
inline constexpr float kLevelAgentMargin = 34.0f;
inline constexpr size_t kMaxLevelPoints = 1000;

// An obstacle as the navmesh builder sees it: a convex footprint (counter-clockwise seen from
// above with x right, y up) extruded from minZ to maxZ.
struct Obstacle {
  std::array<float, 8> footprint;  // four corners, x0 y0 x1 y1 ...
  float minZ = 0.0f;
  float maxZ = 0.0f;
};

// Limits that keep a hostile file from asking for an absurd build.
inline constexpr float kMaxLevelExtent = 50000.0f;  // cm from the origin on x and y
inline constexpr size_t kMaxLevelObstacles = 20000;

// Parses and checks a level; false with a one-line reason on bad JSON or bad values.
bool ParseLevel(std::string_view json, Level& out, std::string& error);
// The same checks for a level made in code: finite values within kMaxLevelExtent, min below
// max, positive wall thickness and height, wall ends at least 1 cm apart, few enough obstacles.
bool CheckLevel(const Level& level, std::string& error);
std::string LevelToJson(const Level& level);

bool LoadLevelFile(const std::string& path, Level& out, std::string& error);
bool SaveLevelFile(const std::string& path, const Level& level, std::string& error);

// data/levels/<name>.json of the source tree.
std::string LevelPath(const std::string& name);
// What a user means by a level argument: "default" is the arena, a bare name that is not a
// readable file is a shipped level ("large"), anything else is a file path.
std::string ResolveLevelArgument(const std::string& level);

// Boxes and walls of the level as footprints.
std::vector<Obstacle> LevelObstacles(const Level& level);

// True when the horizontal point lies inside an obstacle footprint grown by margin cm.
bool InsideObstacle(const Level& level, float x, float y, float margin);

}  // namespace kvr::sim
