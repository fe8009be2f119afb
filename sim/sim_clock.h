// The simulated engine's clock: simulated nanoseconds that advance only when the engine ticks,
// so a match runs as fast as the machine allows and timers behave the same on every run.
//
// Installed as the source of platform::SteadySeconds; one clock per process.
#pragma once
#include <cstdint>

namespace kvr::sim {

// Makes SteadySeconds read the simulated clock, restarted at its first reading (SteadySeconds
// then restarts near 0). Uninstalling gives the platform clock back.
void InstallSimulatedClock();
void UninstallSimulatedClock();

uint64_t SimulatedNanoseconds();
void AdvanceSimulatedClock(uint64_t nanoseconds);

}  // namespace kvr::sim
