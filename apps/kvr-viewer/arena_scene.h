// The living arena as the viewer shows it: a play session with the mod's code linked into the
// viewer (so the menu and route overlay draw the snapshots the mod's own update publishes), the
// player's camera of the arena, and the arena's floor, obstacles, thugs and player drawn solid
// and depth-tested with the overlay's projection, under the mod's routes.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "game/menu_snapshot.h"
#include "imgui.h"
#include "scene_gl.h"
#include "scene_mesh.h"
#include "sim/arena/play.h"

namespace kvr::viewer {

struct SceneOptions {
  std::string level = "default";
  int thugs = 8;
  uint64_t seed = 1;
  std::string modDir;   // the mod's folder (config.ini gets ShowPathOverlay = 1)
  double warmup = 6.0;  // simulated seconds played before the first picture
};

class ArenaScene {
 public:
  // Level, navmesh, world, the linked mod and the arena, then `warmup` seconds of play; false
  // with a one-line reason.
  bool Open(const SceneOptions& options, std::string& error);
  // Stops the mod (it saves its brain) and the world.
  void Close();
  ~ArenaScene() { Close(); }

  // Plays the arena frames that fit in `seconds` more of simulated time.
  void Advance(double seconds);

  // The player's camera, exactly as the mod reads it.
  game::CameraView Camera();
  const sim::Arena& Arena() const { return *session_.arena; }
  const sim::Level& Level() const { return session_.level; }
  const std::vector<sim::Obstacle>& Obstacles() const { return obstacles_; }
  // Every line the mod logged, once Close ran.
  const std::vector<std::string>& Log() const { return report_.modLines; }

  // Floor, obstacles, thugs and player with the current OpenGL context, seen from `camera`
  // on a width x height picture cleared to `background`.
  void Render(const game::CameraView& camera, int width, int height, Rgb background);

 private:
  sim::PlaySession session_;
  sim::PlayReport report_;
  std::vector<sim::Obstacle> obstacles_;
  SceneMesh level_;    // built once: the level does not change
  SceneMesh bodies_;   // rebuilt every picture
  double owed_ = 0.0;  // simulated time not yet played (less than a frame)
  bool open_ = false;
};

inline constexpr ImU32 kThugColour = IM_COL32(200, 60, 50, 255);
inline constexpr ImU32 kPlayerColour = IM_COL32(60, 120, 230, 255);

}  // namespace kvr::viewer
