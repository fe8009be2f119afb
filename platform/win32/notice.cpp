#include "platform/notice.h"

#include <windows.h>

#include "platform/text.h"

namespace kvr::platform {

void DebugNotice(const std::string& line) {
  OutputDebugStringW((Utf8ToWide(line) + L"\n").c_str());
}

}  // namespace kvr::platform
