// The two entry points the mod host looks up in the module.
#include "host/mod_base.h"

#if defined(_WIN32)
#define KVR_EXPORT __declspec(dllexport)
#else
#define KVR_EXPORT __attribute__((visibility("default")))
#endif

namespace {

class KorvathPalimarNeuralNav final : public kvr::host::CppUserModBase {
 public:
  KorvathPalimarNeuralNav() {
    ModName = L"KorvathPalimarNeuralNav";
    ModVersion = L"1.0.1";
    ModDescription =
        L"Adaptive Pathfinding System arcs + evolving neural-network tactics for Palimar Thugs";
    ModAuthors = L"Dunmere (Halvenor)";
  }
};

}  // namespace

extern "C" KVR_EXPORT kvr::host::CppUserModBase* start_mod() {
  return new KorvathPalimarNeuralNav();
}

extern "C" KVR_EXPORT void uninstall_mod(kvr::host::CppUserModBase* mod) {
  delete mod;
}
