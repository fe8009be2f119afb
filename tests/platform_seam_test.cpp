// The platform seam the mod needs besides files: the steady clock and the executable's code range.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/code_range.h"
#include "platform/steady_clock.h"

namespace kvr::platform {
namespace {

uint64_t g_fakeNanoseconds = 0;
uint64_t FakeClock() {
  return g_fakeNanoseconds;
}
uint64_t g_otherNanoseconds = 0;
uint64_t OtherFakeClock() {
  return g_otherNanoseconds;
}

TEST(SteadyClock, FollowsItsSourceAndNeverRunsBackwardsAcrossSources) {
  const double start = SteadySeconds();
  g_fakeNanoseconds = 5'000'000'000ull;
  SetSteadyClockSource(&FakeClock);
  const double switched = SteadySeconds();
  EXPECT_GE(switched, start);
  g_fakeNanoseconds += 1'500'000'000ull;
  EXPECT_NEAR(SteadySeconds() - switched, 1.5, 1e-9);
  // A source that starts far lower (a fresh simulated clock) carries on from the current value.
  const double before = SteadySeconds();
  g_otherNanoseconds = 10;
  SetSteadyClockSource(&OtherFakeClock);
  EXPECT_DOUBLE_EQ(SteadySeconds(), before);
  g_otherNanoseconds += 250'000'000ull;
  EXPECT_NEAR(SteadySeconds() - before, 0.25, 1e-9);
  g_otherNanoseconds = 0;  // a source stepping back holds the clock still
  EXPECT_NEAR(SteadySeconds() - before, 0.25, 1e-9);
  g_otherNanoseconds = 250'000'010ull;
  EXPECT_NEAR(SteadySeconds() - before, 0.25, 1e-9);
  SetSteadyClockSource(nullptr);  // back to the real clock
  const double a = SteadySeconds();
  const double b = SteadySeconds();
  EXPECT_GE(a, before + 0.25);
  EXPECT_GE(b, a);
}

int SomeCodeInThisProgram() {
  return 42;
}

TEST(CodeRange, CoversThisProgramsCodeButNotItsData) {
  CodeRange range;
  ASSERT_TRUE(ExecutableCodeRange(range));
  EXPECT_GT(range.end, range.start);
  EXPECT_GE(range.start, range.loadAddress);
  const auto code = reinterpret_cast<uint64_t>(&SomeCodeInThisProgram);
  EXPECT_GE(code, range.start);
  EXPECT_LT(code, range.end);
  static int data = 0;
  const auto dataAddress = reinterpret_cast<uint64_t>(&data);
  EXPECT_FALSE(dataAddress >= range.start && dataAddress < range.end);
  EXPECT_EQ(SomeCodeInThisProgram(), 42);
}

}  // namespace
}  // namespace kvr::platform
