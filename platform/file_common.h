// Shared by the per-OS file code: reads an open stream to its end and closes it.
#pragma once
#include <cstdio>
#include <string>

#include "platform/file.h"

namespace kvr::platform::detail {

// out is replaced only when the whole stream was read and is at most maxBytes long. Reads at
// most maxBytes + 1 bytes, so a huge file costs no more than the cap. Never throws.
inline ReadStatus ReadAndClose(FILE* f, size_t maxBytes, std::string& out) noexcept {
  ReadStatus status = ReadStatus::kOk;
  try {
    std::string data;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
      if (n > maxBytes - data.size()) {
        status = ReadStatus::kTooLarge;
        break;
      }
      data.append(buffer, n);
    }
    if (status == ReadStatus::kOk && std::ferror(f)) status = ReadStatus::kReadFailed;
    if (status == ReadStatus::kOk) out.swap(data);
  } catch (...) {  // the memory for the content could not be had
    status = ReadStatus::kReadFailed;
  }
  std::fclose(f);
  return status;
}

}  // namespace kvr::platform::detail
