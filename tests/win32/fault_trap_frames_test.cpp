// The Windows fault guard is a frame on the stack: code that the guarded call reaches and that
// handles its own faults (the engine's own structured-exception blocks) keeps them, and only
// what no frame inside claims comes back as a fault.
#include <gtest/gtest.h>

#include "platform/fault_trap.h"

extern "C" {
int kvr_test_fault_handled_inside(void);
int kvr_test_fault_declined_inside(volatile int* filterRan);
void kvr_test_raise_msvc_cxx_exception(void);
}

namespace kvr::platform {
namespace {

int* volatile g_unmapped = reinterpret_cast<int*>(static_cast<uintptr_t>(64));

TEST(FaultTrapFrames, AFaultTheCalleeHandlesItselfStaysWithTheCallee) {
  int handledInside = 0;
  int after = 0;
  const TrapResult result = RunTrapped([&] {
    handledInside = kvr_test_fault_handled_inside();
    after = 1;  // the callee returned normally and the body went on
  });
  EXPECT_EQ(result, TrapResult::kCompleted);
  EXPECT_EQ(handledInside, 1);
  EXPECT_EQ(after, 1);
  // Many of them in a row, as an engine that uses faults on purpose would produce.
  int handled = 0, completed = 0;
  for (int i = 0; i < 200; ++i)
    completed +=
        RunTrapped([&] { handled += kvr_test_fault_handled_inside(); }) == TrapResult::kCompleted;
  EXPECT_EQ(handled, 200);
  EXPECT_EQ(completed, 200);
}

TEST(FaultTrapFrames, AFaultNoFrameClaimsIsContained) {
  volatile int filterRan = 0;
  volatile int after = 0;
  const TrapResult result = RunTrapped([&] {
    kvr_test_fault_declined_inside(&filterRan);
    after = 1;
  });
  EXPECT_EQ(result, TrapResult::kMachineFault);
  EXPECT_EQ(filterRan, 1) << "the inner block was asked first";
  EXPECT_EQ(after, 0);
  // The trap is still usable afterwards and the plain fault is contained too.
  EXPECT_EQ(RunTrapped([] { *g_unmapped = 1; }), TrapResult::kMachineFault);
  EXPECT_EQ(RunTrapped([] {}), TrapResult::kCompleted);
}

TEST(FaultTrapFrames, AnUncaughtEngineCxxExceptionIsAnException) {
  EXPECT_EQ(RunTrapped([] { kvr_test_raise_msvc_cxx_exception(); }), TrapResult::kException);
}

}  // namespace
}  // namespace kvr::platform
