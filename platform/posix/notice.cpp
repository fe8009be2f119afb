#include "platform/notice.h"

#include <cstdio>

namespace kvr::platform {

void DebugNotice(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace kvr::platform
