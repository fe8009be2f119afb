#include "platform/file.h"
#include "platform/file_common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kvr::platform {

ReadStatus ReadFileCapped(const std::string& path, size_t maxBytes, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return ReadStatus::kCannotOpen;
  return detail::ReadAndClose(f, maxBytes, out);
}

std::string LastErrorText() {
  return std::strerror(errno);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

namespace {

// Makes the rename itself durable. Best effort: the file is complete either way, and without it
// a power cut can at worst bring back the previous complete file.
void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

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
  SyncDirectoryOf(path);
  return ReplaceStatus::kOk;
}

}  // namespace kvr::platform
