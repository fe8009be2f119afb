// The file this code was loaded from, and the main executable's code section.
#pragma once
#include <cstdint>
#include <string>

namespace kvr::platform {

// Full path of the module (DLL, shared object or executable) that contains `address`;
// empty when the system cannot tell.
std::wstring ModulePathOf(const void* address);

// Keeps the module that contains `address` loaded until the process ends, whoever unloads it:
// code that others still point at (callbacks, listeners, virtual tables) must stay mapped.
// False when the system refused.
bool PinModuleOf(const void* address);

}  // namespace kvr::platform
