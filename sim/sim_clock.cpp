#include "sim/sim_clock.h"

#include <atomic>

#include "platform/steady_clock.h"

namespace kvr::sim {

namespace {
// Starts well away from 0 so nothing mistakes the first reading for "never".
std::atomic<uint64_t> g_nanoseconds{1'000'000'000ull};
}  // namespace

void InstallSimulatedClock() {
  platform::SetSteadyClockSource(&SimulatedNanoseconds);
}

void UninstallSimulatedClock() {
  platform::SetSteadyClockSource(nullptr);
}

uint64_t SimulatedNanoseconds() {
  return g_nanoseconds.load(std::memory_order_acquire);
}

void AdvanceSimulatedClock(uint64_t nanoseconds) {
  g_nanoseconds.fetch_add(nanoseconds, std::memory_order_acq_rel);
}

}  // namespace kvr::sim
