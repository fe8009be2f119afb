// Keeping an old brain file before a different brain is saved over it.
//
// The file on disk may hold hours of learning that the running brain did not come from: it was
// rejected at start-up (another network shape in config.ini, damage) or the brain was reset
// since. Saving would replace it for good, so first it is copied beside itself under a name that
// nothing has yet: brain.kvrb.bak, else brain.kvrb.bak1, brain.kvrb.bak2, ... An existing
// backup is never replaced.
#pragma once
#include <cstdint>
#include <string>

namespace kvr::persistence {

// The highest number tried after ".bak": past it the backup fails rather than replace one.
inline constexpr int kMaxBackupNumber = 999;

struct BrainBackup {
  enum class Result : uint8_t {
    kNothingToKeep,  // no file at the path: saving loses nothing
    kKept,           // copied to `path`
    kFailed,         // no copy; `error` says why, and the old file must not be saved over
  };
  Result result = Result::kFailed;
  std::string path;  // UTF-8, the backup's full path (kKept)
  std::string error;
};

// path.bak for number 0, path.bak<number> for the others.
std::string BrainBackupPath(const std::string& path, int number);

// Copies the file at path (UTF-8) to the first free backup name.
BrainBackup KeepBrainBackup(const std::string& path);

}  // namespace kvr::persistence
