// SteadySeconds: the one clock every timer of the mod reads.
//
// Monotonic seconds since the first reading, as a double. The source is the platform's
// monotonic clock unless a simulated engine substitutes its own (so a match can run faster than
// real time). A change of source never turns the clock back: it goes on from the value it had.
#pragma once
#include <cstdint>

namespace kvr::platform {

// Nanoseconds from an arbitrary origin; must never go backwards.
using ClockSource = uint64_t (*)();

double SteadySeconds();

// nullptr goes back to the platform clock.
void SetSteadyClockSource(ClockSource source);

}  // namespace kvr::platform
