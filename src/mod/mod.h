// The mod object the host gets from start_mod.
#pragma once
#include "host/api/host.h"
#include "mod/mod_base.h"

namespace kvr::mod {

struct ModRuntime;

class KorvathPalimarNeuralNav final : public CppUserModBase {
 public:
  // Finds its host (LocateHost; `findModHost` finds the binding over the real mod host) and
  // registers the ProcessEvent pre-callback (never unregistered); ticks are ignored until
  // on_unreal_init has run the start-up sequence. Without a host the object stays inert: it
  // says so on the platform's debug output and registers, reads and writes nothing.
  explicit KorvathPalimarNeuralNav(host::FindModHostFn findModHost = nullptr);
  // Runs shutdown; must not throw.
  ~KorvathPalimarNeuralNav();
  void on_unreal_init();
  bool Hosted() const { return hosted_; }

 private:
  ModRuntime& runtime_;
  bool hosted_ = false;
};

}  // namespace kvr::mod
