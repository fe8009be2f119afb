// splitmix64 (tactics::Rng) advances its state by one published constant per draw, so a state
// tells how many draws ran. Tests of the brain, the network and evolution count draws that way.
#pragma once
#include <cstdint>

namespace kvr::test {

inline constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;

}  // namespace kvr::test
