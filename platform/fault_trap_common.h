// Shared by the two fault traps: runs the body with C++ exceptions turned into a value.
#pragma once
#include "platform/fault_trap.h"

namespace kvr::platform::detail {

inline TrapResult RunCatching(void (*body)(void*), void* context) {
  try {
    body(context);
    return TrapResult::kCompleted;
  } catch (...) {
    return TrapResult::kException;
  }
}

}  // namespace kvr::platform::detail
