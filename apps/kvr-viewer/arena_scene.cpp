#include "arena_scene.h"

#include <cmath>

#include "sim/arena/arena_view.h"

namespace kvr::viewer {

bool ArenaScene::Open(const SceneOptions& o, std::string& error) {
  sim::PlayOptions play;
  play.level = o.level;
  play.thugs = o.thugs;
  play.seed = o.seed;
  play.modDir = o.modDir;
  play.modStart = sim::PlayOptions::ModStart::kLinked;
  play.showRoutes = true;
  play.pathWorkers = 0;  // one thread: the viewer's
  if (!sim::OpenPlay(play, session_, report_, error)) return false;
  open_ = true;
  obstacles_ = sim::LevelObstacles(session_.level);
  AddLevel(level_, session_.level, obstacles_);
  sim::RunPlayFrames(session_, sim::PlayFrames(session_, o.warmup));
  return true;
}

void ArenaScene::Close() {
  if (!open_) return;
  open_ = false;
  sim::ClosePlay(session_, report_);
}

void ArenaScene::Advance(double seconds) {
  const double frame = session_.setup.rules.frameSeconds;
  owed_ += seconds;
  const long long frames = static_cast<long long>(std::floor(owed_ / frame));
  owed_ -= static_cast<double>(frames) * frame;
  sim::RunPlayFrames(session_, frames);
}

game::CameraView ArenaScene::Camera() {
  return sim::PlayerCameraView(session_.world, session_.arena->Player());
}

void ArenaScene::Render(const game::CameraView& camera, int width, int height, Rgb background) {
  bodies_.Clear();
  for (const aps::Vec3& t : sim::LiveThugPositions(*session_.arena))
    AddBody(bodies_, t, kThugColour, camera.location);
  AddBody(bodies_, session_.arena->Player().position, kPlayerColour, camera.location);
  DrawMeshes({&level_, &bodies_}, camera, width, height, background);
}

}  // namespace kvr::viewer
