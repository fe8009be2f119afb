// What a match changes in the user's mod folder, and putting it back.
//
// A policy reaches the mod only through its own files, so a match edits config.ini (only the
// lines the policy needs, every other byte as the user wrote it) and, for a fixed style,
// replaces brain.kvrb with a brain made by the mod's own code. Both belong to the user: the
// edited files are put back exactly as they were when the match ends. A copy of each original
// waits beside it (".match-backup") while the match runs, so even a killed match loses nothing.
#pragma once
#include <cstdint>
#include <string>

#include "settings/settings.h"
#include "sim/report/match_record.h"
#include "tactics/brain.h"

namespace kvr::sim {

// `text` (a config.ini, possibly hand-edited) with the policy's settings: only the lines whose
// value differs are replaced or added; comments, order and unreadable lines elsewhere stay.
std::string WithPolicyLines(const std::string& text, const report::Policy& policy);

// A brain made by the mod's own code for `settings` whose every network answers `style` for
// any situation: all weights 0, the output biases +8 for the style and -8 for the others.
tactics::Brain FixedStyleBrain(const Settings& settings, int style, uint64_t seed);

class ModFolderEdit {
 public:
  ModFolderEdit() = default;
  ModFolderEdit(const ModFolderEdit&) = delete;
  ModFolderEdit& operator=(const ModFolderEdit&) = delete;
  ~ModFolderEdit() { Restore(); }

  // Sets the policy in modDir (creating the folder), and for a fixed policy writes its brain.
  // False with a reason when a file cannot be written or an earlier match's backup is still
  // there (then nothing was changed).
  bool Apply(const std::string& modDir, const report::Policy& policy, uint64_t seed,
             std::string& error);

  // Puts back every file Apply changed (a file that did not exist is removed). Idempotent.
  // False with a reason when a file could not be put back; its backup then stays.
  bool Restore(std::string* error = nullptr);

 private:
  struct Saved {
    std::string path;
    bool existed = false;
    bool taken = false;  // Apply changed it, Restore owes it
    std::string bytes;
  };
  bool Take(Saved& saved, const std::string& path, std::string& error);
  bool PutBack(Saved& saved, std::string* error);

  Saved config_, brain_;
};

// The name of the copy kept beside a file while a match has it changed.
std::string MatchBackupPath(const std::string& path);

}  // namespace kvr::sim
