// UTF-8 <-> wide text. The mod keeps narrow UTF-8 everywhere and converts at the borders
// (log devices and file names take wide text on Windows).
#pragma once
#include <string>

namespace kvr::platform {

// Invalid UTF-8 sequences become U+FFFD; never fails.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace kvr::platform
