#include "platform/steady_clock.h"

#include <mutex>

#include "platform/clock.h"

namespace kvr::platform {

namespace {

// Source, base and carried time change together, so they are read and written under one lock;
// the lock is uncontended in practice (one game thread reads the clock).
struct SteadyClock {
  std::mutex mutex;
  ClockSource source = &MonotonicNanoseconds;
  bool started = false;
  uint64_t base = 0;     // the source's reading that counts as `carried`
  uint64_t carried = 0;  // nanoseconds counted on earlier sources
  uint64_t last = 0;     // the largest value handed out
};

// A source that steps back (it should not) must neither wrap the clock nor turn it back.
uint64_t Elapsed(uint64_t now, uint64_t base) {
  return now >= base ? now - base : 0;
}

SteadyClock& Clock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace

double SteadySeconds() {
  SteadyClock& clock = Clock();
  std::lock_guard<std::mutex> lock(clock.mutex);
  const uint64_t now = clock.source();
  if (!clock.started) {
    clock.base = now;
    clock.started = true;
  }
  const uint64_t value = clock.carried + Elapsed(now, clock.base);
  if (value > clock.last) clock.last = value;
  return static_cast<double>(clock.last) * 1e-9;
}

void SetSteadyClockSource(ClockSource source) {
  SteadyClock& clock = Clock();
  std::lock_guard<std::mutex> lock(clock.mutex);
  ClockSource next = source ? source : &MonotonicNanoseconds;
  if (clock.started) {
    clock.carried += Elapsed(clock.source(), clock.base);
    clock.base = next();
  }
  clock.source = next;
}

}  // namespace kvr::platform
