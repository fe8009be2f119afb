// The mod object the host gets from start_mod.
#pragma once
#include "host/mod_base.h"

namespace kvr::host {

struct ModRuntime;

class KorvathPalimarNeuralNav final : public CppUserModBase {
 public:
  // Registers the ProcessEvent pre-callback (never unregistered); ticks are ignored until
  // on_unreal_init has run the start-up sequence.
  KorvathPalimarNeuralNav();
  // Runs shutdown; must not throw.
  ~KorvathPalimarNeuralNav() override;
  void on_unreal_init() override;

 private:
  ModRuntime& runtime_;
};

}  // namespace kvr::host
