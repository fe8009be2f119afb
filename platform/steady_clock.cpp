#include "platform/steady_clock.h"

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
  uint64_t last = 0;  // the largest value handed out since the origin
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
  // A source that steps back (it should not) must neither wrap the clock nor turn it back.
  const uint64_t elapsed = now >= clock.origin ? now - clock.origin : 0;
  if (elapsed > clock.last) clock.last = elapsed;
  return static_cast<double>(clock.last) * 1e-9;
}

uint64_t SeedCounter() {
  ClockSource source;
  {
    SteadyClock& clock = Clock();
    std::lock_guard<std::mutex> lock(clock.mutex);
    source = clock.source;
  }
  return source == &MonotonicNanoseconds ? TimeStampCounter() : source();
}

void SetSteadyClockSource(ClockSource source) {
  SteadyClock& clock = Clock();
  std::lock_guard<std::mutex> lock(clock.mutex);
  clock.source = source ? source : &MonotonicNanoseconds;
  clock.haveOrigin = false;
  clock.last = 0;
}

}  // namespace kvr::platform
