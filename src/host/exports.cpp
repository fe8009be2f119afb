// The two entry points the mod host looks up in the module.
#include "host/mod.h"

#if defined(_WIN32)
#define KVR_EXPORT __declspec(dllexport)
#else
#define KVR_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KVR_EXPORT kvr::host::CppUserModBase* start_mod() {
  return new kvr::host::KorvathPalimarNeuralNav();
}

extern "C" KVR_EXPORT void uninstall_mod(kvr::host::CppUserModBase* mod) {
  if (mod) delete mod;
}
