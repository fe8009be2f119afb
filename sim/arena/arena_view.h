// What the player's camera shows, for programs that draw the arena or check a picture of it:
// the camera view exactly as the mod reads it (the camera manager's view location, rotation and
// field of view, the local player's aspect rule), and the routes the thugs walk, projected with
// the overlay's own projection.
#pragma once
#include <string>
#include <vector>

#include "game/menu_snapshot.h"
#include "sim/arena/arena.h"

namespace kvr::sim {

// A body's radius as pictures of the arena draw it, cm: an upright cylinder of this radius,
// twice as high, whose centre is this high.
inline constexpr float kArenaBodyRadius = 45.0f;

// Invalid when the player has no camera manager or local player.
game::CameraView PlayerCameraView(World& world, const ArenaPlayer& player);

struct ScreenPoint {
  float x = 0.0f;
  float y = 0.0f;
  bool visible = false;  // in front of the camera (it may still lie off the picture)
  float radius = 0.0f;   // of a body there, pixels (ProjectThugs only)
  // Of a body's kBodySightLines sight lines from the camera (to its centre and to four points
  // near its rim), how many an obstacle cuts (ProjectBodies given the obstacles).
  int blocked = 0;
};

inline constexpr int kBodySightLines = 5;

// Since when each thug (by its index in Arena::Thugs) has had its present controller and pawn,
// in the arena's seconds. The mod learns of a new controller or pawn only at its next look
// around, so a route planned right after one came is not one the mod handled.
class ThugTenure {
 public:
  // Once a frame, after the arena's own step.
  void Update(const Arena& arena);
  // Far in the past for an index never seen.
  double Since(size_t index) const;

 private:
  struct Holder {
    const UObject* controller = nullptr;
    const UObject* pawn = nullptr;
    double since = 0;
  };
  std::vector<Holder> holders_;
};

// The routes of live thugs planned at most `maxAge` simulated seconds ago, of thugs at most
// `maxDistance` cm from the camera (those the mod's overlay shows), on a width x height picture.
// With `tenure`, only routes planned at least `settle` seconds after the thug's controller and
// pawn came.
std::vector<std::vector<ScreenPoint>> ProjectThugRoutes(
    const Arena& arena, const game::CameraView& camera, float width, float height, double maxAge,
    float maxDistance, const ThugTenure* tenure = nullptr, double settle = 0.0);

// The route lines of a menu snapshot, projected from its own camera (as the overlay draws them).
std::vector<std::vector<ScreenPoint>> ProjectRouteLines(const game::MenuSnapshot& snapshot,
                                                        float width, float height);
// The same lines projected from another camera.
std::vector<std::vector<ScreenPoint>> ProjectRouteLines(const std::vector<game::RouteLine>& lines,
                                                        const game::CameraView& camera, float width,
                                                        float height);

// Where bodies standing at `feet` show on the picture: the centre, kArenaBodyRadius up. With
// `obstacles`, also how much of each body the level's boxes and walls hide from the camera.
std::vector<ScreenPoint> ProjectBodies(const std::vector<aps::Vec3>& feet,
                                       const game::CameraView& camera, float width, float height,
                                       const std::vector<Obstacle>* obstacles = nullptr);
// Where the live thugs stand.
std::vector<aps::Vec3> LiveThugPositions(const Arena& arena);

// Live thugs, and how many of them have the engine's RVO avoidance on (the mod switches it).
struct AvoidanceCount {
  int live = 0;
  int avoiding = 0;
};
AvoidanceCount CountAvoidance(const World& world, const Arena& arena);

// One line per visible body: "<label> x,y radius", followed by " hidden" when obstacles cut
// every sight line to it and " partly" when they cut some.
std::string FormatScreenBodies(const char* label, const std::vector<ScreenPoint>& bodies);

// One line per route: "route" and then "x,y" for every point, "-" for one that is not visible.
std::string FormatScreenRoutes(const std::vector<std::vector<ScreenPoint>>& routes);

}  // namespace kvr::sim
