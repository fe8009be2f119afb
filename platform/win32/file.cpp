#include "platform/file.h"
#include "platform/file_common.h"

#include <share.h>
#include <windows.h>
#include <cstdio>

#include "platform/text.h"

namespace kvr::platform {

bool ReadWholeFile(const std::string& path, std::string& out) {
  // Shared for reading and writing, so a file another program holds open still reads.
  FILE* f = _wfsopen(Utf8ToWide(path).c_str(), L"rb", _SH_DENYNO);
  if (!f) return false;
  return detail::ReadAndClose(f, out);
}

ReplaceStatus WriteFileReplacing(const std::string& path, std::string_view data) {
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
