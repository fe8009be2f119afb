// The two entry points the mod host looks up in the module.
#include "mod/mod.h"
#include "platform/module.h"

#if defined(_WIN32)
#include "ue4ss/win32/ue4ss_host.h"
#define KVR_EXPORT __declspec(dllexport)
#else
#define KVR_EXPORT __attribute__((visibility("default")))
#endif

namespace {

kvr::host::IHost* FindModHost([[maybe_unused]] std::string& whyNot) {
#if defined(_WIN32)
  return kvr::ue4ss::FindUe4ssHost(&whyNot);
#else
  return nullptr;
#endif
}

}  // namespace

extern "C" KVR_EXPORT kvr::mod::CppUserModBase* start_mod() {
  // A host that unloads the module would leave our pre-callback and listener registered with
  // nothing behind them.
  kvr::platform::PinModuleOf(reinterpret_cast<const void*>(&start_mod));
  try {
    return new kvr::mod::KorvathPalimarNeuralNav(&FindModHost);
  } catch (...) {
    return nullptr;  // nothing may unwind into the host
  }
}

extern "C" KVR_EXPORT void uninstall_mod(kvr::mod::CppUserModBase* mod) {
  if (mod) kvr::mod::HostDelete(mod);
}
