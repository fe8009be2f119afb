#include "persistence/brain_status.h"

#include "persistence/brain_file.h"

namespace kvr::persistence {

namespace {

std::string Counters(const tactics::Brain& brain) {
  return std::to_string(brain.totalEpisodes) + " episodes, generation " +
         std::to_string(brain.generation);
}

}  // namespace

std::string LoadBrainAtStartup(tactics::Brain& brain, const std::string& path, bool saveBrain,
                               bool* loaded) {
  if (loaded) *loaded = false;
  if (!saveBrain) return "fresh brain (saving disabled)";
  std::string error;
  if (!ReadBrainFile(brain, path, error)) return "fresh brain (" + error + ")";
  if (loaded) *loaded = true;
  return "loaded brain.kvrb: " + Counters(brain);
}

SaveOutcome SaveBrainWithStatus(const tactics::Brain& brain, const std::string& path,
                                const std::string& reason, bool saveBrain, std::string& status) {
  SaveOutcome outcome;
  if (!saveBrain) return outcome;
  outcome.attempted = true;
  std::string error;
  outcome.ok = WriteBrainFile(brain, path, error);
  status = outcome.ok ? "saved (" + reason + "), " + Counters(brain) : "save FAILED: " + error;
  return outcome;
}

}  // namespace kvr::persistence
