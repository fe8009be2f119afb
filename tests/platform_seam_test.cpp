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

TEST(SteadyClock, CountsFromTheFirstReadingOfEachSource) {
  g_fakeNanoseconds = 5'000'000'000ull;
  SetSteadyClockSource(&FakeClock);
  EXPECT_EQ(SteadySeconds(), 0.0);
  g_fakeNanoseconds += 1'500'000'000ull;
  EXPECT_NEAR(SteadySeconds(), 1.5, 1e-9);
  // A source that steps back (it should not) holds the clock still instead of wrapping it.
  g_fakeNanoseconds -= 1'000'000'000ull;
  EXPECT_NEAR(SteadySeconds(), 1.5, 1e-9);
  g_fakeNanoseconds += 1'250'000'000ull;
  EXPECT_NEAR(SteadySeconds(), 1.75, 1e-9);

  g_otherNanoseconds = 10;
  SetSteadyClockSource(&OtherFakeClock);  // a fresh simulated clock starts near 0
  EXPECT_EQ(SteadySeconds(), 0.0);
  g_otherNanoseconds += 250'000'000ull;
  EXPECT_NEAR(SteadySeconds(), 0.25, 1e-9);

  SetSteadyClockSource(nullptr);  // back to the real clock, which never runs backwards
  const double a = SteadySeconds();
  const double b = SteadySeconds();
  EXPECT_GE(a, 0.0);
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
