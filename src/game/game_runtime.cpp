#include "game/game_runtime.h"

#include "host/log.h"
#include "persistence/brain_status.h"

namespace kvr::game {

void ReleaseRetired(GameRuntime& rt) {
  rt.brain = tactics::Brain{};
  GameState& g = rt.game;
  g.watched = {};
  g.thugs = {};
  g.controllerByIndex = {};
  g.thugOrder = {};
  g.player = {};
  g.avoidanceLayouts = {};
  g.spareSnapshot.reset();
  g.publishedSnapshot = nullptr;
  g.previousSnapshot = nullptr;
  g.found = {};
  g.controllers = {};
  g.otherThugs = {};
  g.inRange = {};
  g.pathHook.engineRoute = {};
  g.pathHook.newRoute = {};
  g.pathHook.navMemo = {};
}

void SaveBrainWithStatus(GameRuntime& rt, const std::string& reason) {
  if (rt.paths.brainPath.empty()) return;  // no mod directory: nowhere to save
  const auto outcome = persistence::SaveBrainWithStatus(rt.brain, rt.paths.brainPath, reason,
                                                        rt.gameSettings.SaveBrain, rt.brainStatus);
  if (outcome.attempted && !outcome.ok) Log(rt.brainStatus);
}

}  // namespace kvr::game
