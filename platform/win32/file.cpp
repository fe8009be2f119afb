#include "platform/file.h"
#include "platform/file_common.h"

#include <share.h>
#include <windows.h>
#include <cstdio>

#include "platform/text.h"

namespace kvr::platform {

ReadStatus ReadFileCapped(const std::string& path, size_t maxBytes, std::string& out) {
  FILE* f = nullptr;
  try {
    // Shared for reading and writing, so a file another program holds open still reads.
    f = _wfsopen(Utf8ToWide(path).c_str(), L"rb", _SH_DENYNO);
  } catch (...) {  // no memory for the wide path
    return ReadStatus::kReadFailed;
  }
  if (!f) return ReadStatus::kCannotOpen;
  return detail::ReadAndClose(f, maxBytes, out);
}

ReplaceStatus WriteFileReplacing(const std::string& path, std::string_view data) {
  if (path.empty()) return ReplaceStatus::kCannotOpen;
  const std::wstring tmp = Utf8ToWide(path + ".tmp");
  FILE* f = _wfopen(tmp.c_str(), L"wb");
  if (!f) return ReplaceStatus::kCannotOpen;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) return ReplaceStatus::kWriteFailed;
  if (!MoveFileExW(tmp.c_str(), Utf8ToWide(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
    return ReplaceStatus::kRenameFailed;
  return ReplaceStatus::kOk;
}

}  // namespace kvr::platform
