#include "platform/symbol.h"

#include <windows.h>

namespace kvr::platform {

void* FindMainProgramSymbol(const char* name) {
  HMODULE program = GetModuleHandleW(nullptr);
  return program ? reinterpret_cast<void*>(GetProcAddress(program, name)) : nullptr;
}

}  // namespace kvr::platform
