#include "platform/file.h"

namespace kvr::platform {

bool ReadWholeFile(const std::string& path, std::string& out) {
  return ReadFileCapped(path, kDefaultReadLimit, out) == ReadStatus::kOk;
}

}  // namespace kvr::platform
