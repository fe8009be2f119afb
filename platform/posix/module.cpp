#include "platform/module.h"

#include <dlfcn.h>

#include "platform/text.h"

namespace kvr::platform {

std::wstring ModulePathOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return {};
  return Utf8ToWide(info.dli_fname);
}

}  // namespace kvr::platform
