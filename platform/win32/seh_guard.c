/* The one frame-based structured-exception block of the mod, built by clang (the only compiler
 * here that offers __try/__except for this target) and linked into the mingw-built module.
 *
 * Being a frame on the stack, it sees a fault only after every frame between it and the fault
 * had its chance: code that the guarded call reaches (the engine's own functions) keeps handling
 * its own faults. Nothing is registered in the process, and the call without a fault costs what
 * an ordinary function call costs: the block lives in the module's unwind tables. */
#include <windows.h>

#include "platform/win32/seh_guard.h"

/* Codes from the processor and from the C++ runtime of the engine; everything else (breakpoints,
 * debugger notices, stack overflow, which leaves no guard page behind) goes on searching. */
static int SehGuardFilter(DWORD code) {
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
    case KVR_SEH_MSVC_CXX_EXCEPTION:
      return EXCEPTION_EXECUTE_HANDLER;
    default:
      return EXCEPTION_CONTINUE_SEARCH;
  }
}

int kvr_seh_guarded_call(void (*body)(void*), void* context) {
  DWORD code = 0;
  __try {
    body(context);
  } __except (SehGuardFilter(code = GetExceptionCode())) {
    return code == KVR_SEH_MSVC_CXX_EXCEPTION ? KVR_SEH_FOREIGN_EXCEPTION : KVR_SEH_MACHINE_FAULT;
  }
  return KVR_SEH_COMPLETED;
}
