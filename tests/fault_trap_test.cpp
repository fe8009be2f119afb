#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "platform/fault_trap.h"

namespace kvr::platform {
namespace {

// Defeat the optimiser so the faulting access really happens. A small non-null address keeps
// the undefined-behaviour sanitizer's null check out of the way; the page is never mapped.
int* volatile g_null = reinterpret_cast<int*>(static_cast<uintptr_t>(64));
volatile int g_zero = 0;

__attribute__((noinline)) void WriteThroughNull() {
  *g_null = 42;
}
[[maybe_unused]] __attribute__((noinline)) int DivideByZero() {
  return 7 / g_zero;
}

TEST(FaultTrap, MachineFaultsAndExceptionsComeBackAsValues) {
  EXPECT_EQ(RunTrapped([] {}), TrapResult::kCompleted);
  EXPECT_EQ(RunTrapped([] { WriteThroughNull(); }), TrapResult::kMachineFault);
  EXPECT_EQ(RunTrapped([] { throw std::runtime_error("boom"); }), TrapResult::kException);
  EXPECT_EQ(RunTrapped([] { throw 5; }), TrapResult::kException);
#if defined(__x86_64__) && !defined(KVR_SANITIZED)  // the sanitizer reports it first
  EXPECT_EQ(RunTrapped([] { g_zero = DivideByZero(); }), TrapResult::kMachineFault);
#endif
  // Observable side effects up to the fault stay; the rest of the body never runs.
  volatile int progress = 0;
  EXPECT_EQ(RunTrapped([&] {
              progress = 1;
              WriteThroughNull();
              progress = 2;
            }),
            TrapResult::kMachineFault);
  EXPECT_EQ(progress, 1);
}

TEST(FaultTrap, ManyFaultsInARowAreAllContained) {
  int contained = 0;
  for (int i = 0; i < 1000; ++i)
    if (RunTrapped([] { WriteThroughNull(); }) == TrapResult::kMachineFault) ++contained;
  EXPECT_EQ(contained, 1000);
}

TEST(FaultTrap, NestedTrapsAndOtherThreads) {
  TrapResult inner = TrapResult::kCompleted;
  const TrapResult outer = RunTrapped([&] {
    inner = RunTrapped([] { WriteThroughNull(); });
    WriteThroughNull();  // the outer trap is active again
  });
  EXPECT_EQ(inner, TrapResult::kMachineFault);
  EXPECT_EQ(outer, TrapResult::kMachineFault);

  std::atomic<int> contained{0};
  std::thread a([&] {
    for (int i = 0; i < 200; ++i)
      contained += RunTrapped([] { WriteThroughNull(); }) == TrapResult::kMachineFault;
  });
  std::thread b([&] {
    for (int i = 0; i < 200; ++i)
      contained += RunTrapped([] { WriteThroughNull(); }) == TrapResult::kMachineFault;
  });
  a.join();
  b.join();
  EXPECT_EQ(contained.load(), 400);
}

}  // namespace
}  // namespace kvr::platform
