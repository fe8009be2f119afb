#include <windows.h>

#include "platform/fault_trap_common.h"

namespace kvr::platform {

namespace {

struct Trap {
  void* jump[5];  // __builtin_setjmp buffer
  Trap* outer;
};

// The innermost active trap of this thread; null outside RunTrapped.
thread_local Trap* t_activeTrap = nullptr;

bool IsMachineFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK:
      return true;
    default:
      return false;  // C++ exceptions and everything else take their normal way
  }
}

// Where a trapped fault resumes: an ordinary frame on the faulting thread, outside the
// exception dispatcher, from which the jump back to RunTrapped is safe.
[[noreturn]] __attribute__((noinline)) void LandAfterFault() {
  Trap* trap = t_activeTrap;
  __builtin_longjmp(trap->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  if (!t_activeTrap || !IsMachineFault(info->ExceptionRecord->ExceptionCode))
    return EXCEPTION_CONTINUE_SEARCH;
  CONTEXT* ctx = info->ContextRecord;
  // Continue in LandAfterFault as if it had been called: a fresh, aligned frame well below
  // the faulting one (rsp % 16 == 8 at function entry).
  ctx->Rsp = ((ctx->Rsp - 512) & ~static_cast<DWORD64>(15)) - 8;
  ctx->Rip = reinterpret_cast<DWORD64>(&LandAfterFault);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Kept out of line so the jump buffer lives in this frame and the compiler cannot fold the
// setjmp away; the barriers keep the stores around it in order.
__attribute__((noinline)) TrapResult RunWithTrap(Trap& trap, void (*body)(void*), void* context) {
  asm volatile("" ::: "memory");
  if (__builtin_setjmp(trap.jump) != 0) {
    asm volatile("" ::: "memory");
    t_activeTrap = trap.outer;
    return TrapResult::kMachineFault;
  }
  asm volatile("" ::: "memory");
  t_activeTrap = &trap;
  const TrapResult result = detail::RunCatching(body, context);
  asm volatile("" ::: "memory");
  t_activeTrap = trap.outer;
  return result;
}

}  // namespace

TrapResult RunTrapped(void (*body)(void*), void* context) {
  // Registered per call so that nothing of ours stays in the process's handler list once the
  // module is unloaded.
  void* handler = AddVectoredExceptionHandler(1, OnException);
  Trap trap{};
  trap.outer = t_activeTrap;
  const TrapResult result = RunWithTrap(trap, body, context);
  if (handler) RemoveVectoredExceptionHandler(handler);
  return result;
}

}  // namespace kvr::platform
