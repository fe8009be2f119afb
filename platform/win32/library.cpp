#include "platform/library.h"

#include <windows.h>

#include "platform/text.h"

namespace kvr::platform {

void* LoadModule(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryW(Utf8ToWide(path).c_str());
  if (!module)
    error = "LoadLibraryW failed with error " + std::to_string(GetLastError()) + " for " + path;
  return reinterpret_cast<void*>(module);
}

void* ModuleSymbol(void* module, const char* name) {
  return module ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name))
                : nullptr;
}

void UnloadModule(void* module) {
  if (module) FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace kvr::platform
