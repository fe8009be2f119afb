#include "platform/fault_trap_common.h"
#include "platform/win32/seh_guard.h"

namespace kvr::platform {

namespace {

struct GuardedCall {
  void (*body)(void*);
  void* context;
  TrapResult result;
};

// Inside the structured-exception block: C++ exceptions of our own runtime are caught here (a
// frame below the block, so they never reach it); machine faults go on to the block.
void RunInsideGuard(void* p) {
  auto* call = static_cast<GuardedCall*>(p);
  call->result = detail::RunCatching(call->body, call->context);
}

}  // namespace

TrapResult RunTrapped(void (*body)(void*), void* context) {
  GuardedCall call{body, context, TrapResult::kCompleted};
  switch (kvr_seh_guarded_call(&RunInsideGuard, &call)) {
    case KVR_SEH_COMPLETED:
      return call.result;
    case KVR_SEH_FOREIGN_EXCEPTION:
      return TrapResult::kException;
    default:
      return TrapResult::kMachineFault;
  }
}

}  // namespace kvr::platform
