#include "platform/file.h"
#include "platform/file_common.h"

#include <share.h>
#include <windows.h>
#include <algorithm>
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

std::string LastErrorText() {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(code);
  if (text) LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
    message.pop_back();
  return WideToUtf8(message);
}

bool PathExists(const std::string& path) {
  try {
    return GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  } catch (...) {  // no memory for the wide path
    return false;
  }
}

namespace {

bool WriteAll(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
    data.remove_prefix(written);
  }
  return true;
}

}  // namespace

ReplaceStatus WriteFileReplacing(const std::string& path, std::string_view data) {
  if (path.empty()) return ReplaceStatus::kCannotOpen;
  const std::wstring tmp = Utf8ToWide(path + ".tmp");
  HANDLE file = CreateFileW(tmp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReplaceStatus::kCannotOpen;
  bool ok = WriteAll(file, data);
  // The data must be on the disk before the move makes it the real file: after a power cut the
  // new name must never stand for blocks that were not written yet.
  ok = FlushFileBuffers(file) && ok;
  ok = CloseHandle(file) && ok;
  if (!ok) return ReplaceStatus::kWriteFailed;
  // Write-through: the move itself is on the disk when the call returns.
  if (!MoveFileExW(tmp.c_str(), Utf8ToWide(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
    return ReplaceStatus::kRenameFailed;
  return ReplaceStatus::kOk;
}

}  // namespace kvr::platform
