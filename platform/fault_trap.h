// Runs a piece of code so that a machine fault inside it (access violation, bus error, illegal
// instruction, integer division by zero) or a C++ exception comes back as a value instead of
// ending the process. Windows: a frame-based structured-exception block, so a fault that code
// inside the body handles itself (the engine's own __try blocks) stays with that code, nothing
// is registered in the process, and the call without a fault costs a few nanoseconds; an
// uncaught C++ exception of the MSVC runtime counts as an exception. Elsewhere a signal trap.
// Only faults on the calling thread while it is inside RunTrapped are taken; every other fault
// goes on to whatever handled it before.
//
// A trapped fault abandons the body where it stood: destructors of its locals do not run and
// locks it took stay taken, so bodies must not hold locks or own resources that matter across
// the trap (the caller takes its locks outside RunTrapped).
#pragma once
#include <cstdint>
#include <utility>

namespace kvr::platform {

enum class TrapResult : uint8_t {
  kCompleted,     // the body returned normally
  kMachineFault,  // a hardware fault was caught
  kException,     // a C++ exception left the body
};

TrapResult RunTrapped(void (*body)(void*), void* context);

template <typename F>
TrapResult RunTrapped(F&& body) {
  return RunTrapped([](void* c) { (*static_cast<std::remove_reference_t<F>*>(c))(); },
                    const_cast<void*>(static_cast<const void*>(&body)));
}

}  // namespace kvr::platform
