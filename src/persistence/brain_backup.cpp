#include "persistence/brain_backup.h"

#include "platform/file.h"

namespace kvr::persistence {

std::string BrainBackupPath(const std::string& path, int number) {
  return path + ".bak" + (number == 0 ? std::string() : std::to_string(number));
}

BrainBackup KeepBrainBackup(const std::string& path) {
  BrainBackup backup;
  if (!platform::PathExists(path)) {
    backup.result = BrainBackup::Result::kNothingToKeep;
    return backup;
  }
  std::string bytes;
  switch (platform::ReadFileCapped(path, platform::kDefaultReadLimit, bytes)) {
    case platform::ReadStatus::kOk:
      break;
    case platform::ReadStatus::kTooLarge:
      backup.error = path + " is too large to copy";
      return backup;
    case platform::ReadStatus::kCannotOpen:
    case platform::ReadStatus::kReadFailed:
      backup.error = "could not read " + path + ": " + platform::LastErrorText();
      return backup;
  }
  for (int number = 0; number <= kMaxBackupNumber; ++number) {
    const std::string candidate = BrainBackupPath(path, number);
    switch (platform::WriteNewFile(candidate, bytes)) {
      case platform::NewFileStatus::kOk:
        backup.result = BrainBackup::Result::kKept;
        backup.path = candidate;
        return backup;
      case platform::NewFileStatus::kExists:
        continue;
      case platform::NewFileStatus::kCannotOpen:
        backup.error = "cannot write " + candidate + ": " + platform::LastErrorText();
        return backup;
      case platform::NewFileStatus::kWriteFailed:
        backup.error = "writing " + candidate + " failed: " + platform::LastErrorText();
        return backup;
    }
  }
  backup.error = "every backup name from " + BrainBackupPath(path, 0) + " to " +
                 BrainBackupPath(path, kMaxBackupNumber) + " is taken";
  return backup;
}

}  // namespace kvr::persistence
