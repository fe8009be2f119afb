#include "platform/clock.h"

#include <intrin.h>
#include <windows.h>

namespace kvr::platform {

uint64_t MonotonicNanoseconds() {
  static const uint64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<uint64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
  // Split to avoid overflowing 64 bits at high counter frequencies.
  return ticks / frequency * 1000000000ull + ticks % frequency * 1000000000ull / frequency;
}

uint32_t CurrentThreadId() {
  return static_cast<uint32_t>(GetCurrentThreadId());
}

uint64_t TimeStampCounter() {
  return __rdtsc();
}

}  // namespace kvr::platform
