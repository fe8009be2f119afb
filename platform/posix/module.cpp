#include "platform/module.h"

#include <dlfcn.h>

#include "platform/text.h"

namespace kvr::platform {

std::wstring ModulePathOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return {};
  return Utf8ToWide(info.dli_fname);
}

bool PinModuleOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return false;
  // A reference taken with RTLD_NODELETE is never given back: the object stays mapped.
  return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

}  // namespace kvr::platform
