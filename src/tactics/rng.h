// Rng: the brain's single random source (splitmix64).
//
// The state is saved in the brain file, so a reloaded brain continues the very same sequence.
// That makes the number and order of draws part of the file's meaning: every operation that
// draws documents exactly when it draws, and callers must not add or skip draws.
#pragma once
#include <cstdint>

namespace kvr::tactics {

struct Rng {
  uint64_t state = 0;

  // The published splitmix64 step; unsigned 64-bit arithmetic wraps by definition.
  uint64_t NextU64() {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1) with 24-bit resolution: computed in double, then narrowed to float.
  float NextUnit() {
    return static_cast<float>(static_cast<double>(NextU64() >> 40) * (1.0 / 16777216.0));
  }

  // Uniform index below n (n >= 1): one draw, full output modulo n.
  uint64_t NextIndex(uint64_t n) { return NextU64() % n; }

  // Index draw that costs nothing when there is no choice: 0 without a draw when n < 2.
  uint64_t PickIndex(uint64_t n) { return n >= 2 ? NextU64() % n : 0; }
};

}  // namespace kvr::tactics
