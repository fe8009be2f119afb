#include "platform/module.h"

#include <windows.h>

namespace kvr::platform {

std::wstring ModulePathOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module))
    return {};
  wchar_t buffer[2048];
  const DWORD n = GetModuleFileNameW(module, buffer, 2048);
  // A full buffer means the name was cut; a cut path would point somewhere else.
  if (n == 0 || n >= 2048) return {};
  return std::wstring(buffer, n);
}

bool PinModuleOf(const void* address) {
  HMODULE module = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            static_cast<LPCWSTR>(address), &module) != 0;
}

}  // namespace kvr::platform
