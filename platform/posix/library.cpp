#include "platform/library.h"

#include <dlfcn.h>

namespace kvr::platform {

void* LoadModule(const std::string& path, std::string& error) {
  // RTLD_LOCAL: the mod's own copies of shared code stay its own.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    error = why ? why : "cannot load " + path;
  }
  return module;
}

void* ModuleSymbol(void* module, const char* name) {
  return module ? dlsym(module, name) : nullptr;
}

void UnloadModule(void* module) {
  if (module) dlclose(module);
}

}  // namespace kvr::platform
