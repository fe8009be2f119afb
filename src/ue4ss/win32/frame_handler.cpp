// MSVC's frame handler for the one MSVC-ABI frame in the module (msvc/catch_frame.cpp), whose
// unwind information names __CxxFrameHandler3. The handler itself lives in the MSVC runtime the
// host brought into the process; it is looked up at run time instead of imported, so main.dll
// imports no compiler runtime and loads where there is none (the simulator, a bare process).
#include <windows.h>

#include <atomic>

#include "ue4ss/win32/msvc_call.h"

namespace {

using FrameHandler = EXCEPTION_DISPOSITION (*)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);

std::atomic<FrameHandler> g_msvcFrameHandler{nullptr};

}  // namespace

// Called by the system's exception dispatch for the catching frame. Without the real handler
// the frame declines, and the exception goes on as if the frame were not there.
extern "C" EXCEPTION_DISPOSITION __CxxFrameHandler3(EXCEPTION_RECORD* record, void* frame,
                                                    CONTEXT* context, void* dispatch) {
  const FrameHandler handler = g_msvcFrameHandler.load(std::memory_order_acquire);
  return handler ? handler(record, frame, context, dispatch) : ExceptionContinueSearch;
}

namespace kvr::ue4ss {

bool BindMsvcFrameHandler() {
  if (g_msvcFrameHandler.load()) return true;
  HMODULE runtime = GetModuleHandleW(L"vcruntime140.dll");
  if (!runtime) return false;
  auto handler = reinterpret_cast<FrameHandler>(
      reinterpret_cast<void*>(GetProcAddress(runtime, "__CxxFrameHandler3")));
  if (!handler) return false;
  g_msvcFrameHandler.store(handler, std::memory_order_release);
  return true;
}

}  // namespace kvr::ue4ss
