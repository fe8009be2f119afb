#include "sim/sim_clock.h"

#include <atomic>

#include "platform/steady_clock.h"

namespace kvr::sim {

namespace {
// Starts well away from 0 so nothing mistakes the first reading for "never".
constexpr uint64_t kStartNanoseconds = 1'000'000'000ull;
std::atomic<uint64_t> g_nanoseconds{kStartNanoseconds};
}  // namespace

void InstallSimulatedClock() {
  // Every engine starts at the same reading: the mod's seeds come from this clock, so a run
  // replays from its seed even when an earlier engine ran in the same process.
  g_nanoseconds.store(kStartNanoseconds, std::memory_order_release);
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
