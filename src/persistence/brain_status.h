// The brain status text shown in the menu, for loading at start-up and for every save.
// These functions only produce texts and outcomes; the mod stores the text in its state and
// logs what needs logging.
#pragma once
#include <string>

#include "tactics/brain.h"

namespace kvr::persistence {

inline constexpr const char* kBrainStatusInitial = "not loaded";
inline constexpr const char* kBrainStatusReset = "reset to a fresh population";

// Start-up load, after the start-up Brain::Configure made a fresh population. Reads the file
// only when saving is enabled; returns the status text (logged after the banner line). loaded,
// when given, tells whether the brain now is the file's.
std::string LoadBrainAtStartup(tactics::Brain& brain, const std::string& path, bool saveBrain,
                               bool* loaded = nullptr);

struct SaveOutcome {
  bool attempted = false;  // false: saving is disabled, status untouched
  bool ok = false;         // false after an attempt: status holds "save FAILED: ...", log it
};

// Saves when saveBrain is set and updates status: "saved (<reason>), N episodes, generation G"
// or "save FAILED: <error>".
SaveOutcome SaveBrainWithStatus(const tactics::Brain& brain, const std::string& path,
                                const std::string& reason, bool saveBrain, std::string& status);

}  // namespace kvr::persistence
