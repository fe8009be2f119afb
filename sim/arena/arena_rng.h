// The arena's one random source (splitmix64): every chance in the game draws from it in a fixed
// order, so a seed replays the same match on one platform.
#pragma once
#include <cstdint>

namespace kvr::sim {

class ArenaRng {
 public:
  explicit ArenaRng(uint64_t seed) : state_(seed) {}

  uint64_t NextU64() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double NextUnit() { return static_cast<double>(NextU64() >> 11) * 0x1.0p-53; }
  // Uniform in [lo, hi).
  float Range(float lo, float hi) { return lo + static_cast<float>(NextUnit()) * (hi - lo); }
  // Uniform in 0..count-1; 0 when count is 0.
  uint64_t Below(uint64_t count) { return count ? NextU64() % count : 0; }

 private:
  uint64_t state_;
};

}  // namespace kvr::sim
