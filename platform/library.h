// Loading a module (DLL or shared object) by path, the way a mod host loads a mod.
#pragma once
#include <string>

namespace kvr::platform {

// path is UTF-8. Null when the module cannot be loaded; error then says why.
void* LoadModule(const std::string& path, std::string& error);
void* ModuleSymbol(void* module, const char* name);
void UnloadModule(void* module);

}  // namespace kvr::platform
