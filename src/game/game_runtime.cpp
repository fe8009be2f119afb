#include "game/game_runtime.h"

#include "host/log.h"
#include "persistence/brain_backup.h"
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
  g.frameCost.Release();
}

namespace {

std::string FileName(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Copies a brain file the running brain did not come from beside itself, so that saving over it
// costs nothing. False when the copy could not be made: then the file must stay as it is.
bool KeepOldBrainFile(GameRuntime& rt) {
  const persistence::BrainBackup backup = persistence::KeepBrainBackup(rt.paths.brainPath);
  switch (backup.result) {
    case persistence::BrainBackup::Result::kNothingToKeep:
      return true;
    case persistence::BrainBackup::Result::kKept:
      Log("kept the old brain.kvrb as " + FileName(backup.path) +
          " before saving over it (the brain being saved did not come from it)");
      return true;
    case persistence::BrainBackup::Result::kFailed:
      break;
  }
  rt.brainStatus = "save FAILED: the old brain.kvrb could not be kept as a backup (" +
                   backup.error + "), so it was not saved over";
  Log(rt.brainStatus);
  return false;
}

}  // namespace

void SaveBrainWithStatus(GameRuntime& rt, const std::string& reason) {
  if (rt.paths.brainPath.empty()) return;  // no mod directory: nowhere to save
  if (!rt.gameSettings.SaveBrain) return;
  if (!rt.brainFileReplaceable) {
    if (!KeepOldBrainFile(rt)) return;
    rt.brainFileReplaceable = true;  // a failed save below must not copy the same file again
  }
  const auto outcome = persistence::SaveBrainWithStatus(rt.brain, rt.paths.brainPath, reason,
                                                        rt.gameSettings.SaveBrain, rt.brainStatus);
  if (outcome.attempted && !outcome.ok) Log(rt.brainStatus);
}

}  // namespace kvr::game
