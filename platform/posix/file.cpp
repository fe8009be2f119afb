#include "platform/file.h"
#include "platform/file_common.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

namespace kvr::platform {

ReadStatus ReadFileCapped(const std::string& path, size_t maxBytes, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return ReadStatus::kCannotOpen;
  return detail::ReadAndClose(f, maxBytes, out);
}

ReplaceStatus WriteFileReplacing(const std::string& path, std::string_view data) {
  if (path.empty()) return ReplaceStatus::kCannotOpen;
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return ReplaceStatus::kCannotOpen;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = std::fflush(f) == 0 && ok;
  // The data must be on disk before the rename makes it the real file.
  ok = ::fsync(fileno(f)) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) return ReplaceStatus::kWriteFailed;
  if (std::rename(tmp.c_str(), path.c_str()) != 0) return ReplaceStatus::kRenameFailed;
  return ReplaceStatus::kOk;
}

}  // namespace kvr::platform
