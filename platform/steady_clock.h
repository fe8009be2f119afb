// SteadySeconds: the one clock every timer of the mod reads.
//
// Monotonic seconds since the first reading, as a double. The source is the platform's
// monotonic clock unless a simulated engine substitutes its own (so a match can run faster than
// real time); substitute it before anything reads the clock.
#pragma once
#include <cstdint>

namespace kvr::platform {

// Nanoseconds from an arbitrary origin; must never go backwards.
using ClockSource = uint64_t (*)();

double SteadySeconds();

// A seed for the mod's random source: the processor's time-stamp counter, or the substituted
// clock's raw reading when a simulated engine runs the clock. A simulated match is then
// repeatable from its own seed, while in the game every seed differs.
uint64_t SeedCounter();

// nullptr goes back to the platform clock. The origin is taken again at the next reading, so
// SteadySeconds restarts near 0 with the new source.
void SetSteadyClockSource(ClockSource source);

}  // namespace kvr::platform
