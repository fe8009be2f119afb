#include <csetjmp>
#include <csignal>
#include <mutex>

#include "platform/fault_trap_common.h"

namespace kvr::platform {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

struct SavedActions {
  struct sigaction previous[4];
};

SavedActions& Saved() {
  static SavedActions saved;
  return saved;
}

// The innermost active trap of this thread; null outside RunTrapped.
thread_local sigjmp_buf* t_activeTrap = nullptr;

int SlotOf(int sig) {
  for (int i = 0; i < 4; ++i)
    if (kSignals[i] == sig) return i;
  return -1;
}

void OnFault(int sig, siginfo_t* info, void* uc) {
  if (sigjmp_buf* trap = t_activeTrap) siglongjmp(*trap, 1);
  // Not ours: hand the fault to whoever had it before (a sanitizer, a crash reporter, or the
  // default action, which re-faults and ends the process as it would have without us).
  const int slot = SlotOf(sig);
  const struct sigaction& prev = Saved().previous[slot];
  if (prev.sa_flags & SA_SIGINFO) {
    if (prev.sa_sigaction) return prev.sa_sigaction(sig, info, uc);
  } else if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN && prev.sa_handler) {
    return prev.sa_handler(sig);
  }
  signal(sig, SIG_DFL);
}

void InstallOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &action, &Saved().previous[i]);
  });
}

}  // namespace

TrapResult RunTrapped(void (*body)(void*), void* context) {
  InstallOnce();
  sigjmp_buf trap;
  sigjmp_buf* const outer = t_activeTrap;
  // savemask = 0: the handler runs with SA_NODEFER, so the fault's signal is never added to
  // the mask and the jump back leaves the mask as it was. Saving it would cost a system call
  // on every guarded call.
  if (sigsetjmp(trap, 0) != 0) {
    t_activeTrap = outer;
    return TrapResult::kMachineFault;
  }
  t_activeTrap = &trap;
  const TrapResult result = detail::RunCatching(body, context);
  t_activeTrap = outer;
  return result;
}

}  // namespace kvr::platform
