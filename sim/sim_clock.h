// The simulated engine's clock: simulated nanoseconds that advance only when the engine ticks,
// so a match runs as fast as the machine allows and timers behave the same on every run.
//
// Installed as the source of platform::SteadySeconds; one clock per process.
#pragma once
#include <cstdint>

namespace kvr::sim {

// Makes SteadySeconds read the simulated clock (restarting it near 0); counted, so the real
// clock returns only when every installer has uninstalled.
void InstallSimulatedClock();
void UninstallSimulatedClock();

uint64_t SimulatedNanoseconds();
void AdvanceSimulatedClock(uint64_t nanoseconds);

}  // namespace kvr::sim
