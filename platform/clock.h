// Monotonic time, thread identity and the processor time-stamp counter.
#pragma once
#include <cstdint>

namespace kvr::platform {

// Monotonic clock in nanoseconds from an arbitrary origin (the performance counter on
// Windows, CLOCK_MONOTONIC elsewhere).
uint64_t MonotonicNanoseconds();

// The operating system's id of the calling thread (never 0).
uint32_t CurrentThreadId();

// The processor's time-stamp counter; a cheap, ever-changing seed source. (Not named
// ReadTimeStampCounter: the Windows headers define that as a macro.)
uint64_t TimeStampCounter();

}  // namespace kvr::platform
