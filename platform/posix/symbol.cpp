#include "platform/symbol.h"

#include <dlfcn.h>

namespace kvr::platform {

void* FindMainProgramSymbol(const char* name) {
  void* self = dlopen(nullptr, RTLD_NOW | RTLD_NOLOAD);
  if (!self) return nullptr;
  void* symbol = dlsym(self, name);
  dlclose(self);
  return symbol;
}

}  // namespace kvr::platform
