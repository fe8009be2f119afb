#include "platform/steady_clock.h"

#include <atomic>
#include <mutex>

#include "platform/clock.h"

namespace kvr::platform {

namespace {

// Source and origin change together, so they are read and written under one lock; the lock is
// uncontended in practice (one game thread reads the clock).
struct SteadyClock {
  std::mutex mutex;
  ClockSource source = &MonotonicNanoseconds;
  bool haveOrigin = false;
  uint64_t origin = 0;
};

SteadyClock& Clock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace

double SteadySeconds() {
  SteadyClock& clock = Clock();
  std::lock_guard<std::mutex> lock(clock.mutex);
  const uint64_t now = clock.source();
  if (!clock.haveOrigin) {
    clock.origin = now;
    clock.haveOrigin = true;
  }
  return static_cast<double>(now - clock.origin) * 1e-9;
}

void SetSteadyClockSource(ClockSource source) {
  SteadyClock& clock = Clock();
  std::lock_guard<std::mutex> lock(clock.mutex);
  clock.source = source ? source : &MonotonicNanoseconds;
  clock.haveOrigin = false;
}

}  // namespace kvr::platform
