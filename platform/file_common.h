// Shared by the per-OS file code: reads an open stream to its end and closes it.
#pragma once
#include <cstdio>
#include <string>

namespace kvr::platform::detail {

// out is replaced only when the whole stream was read.
inline bool ReadAndClose(FILE* f, std::string& out) {
  std::string data;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  if (ok) out = std::move(data);
  return ok;
}

}  // namespace kvr::platform::detail
