// Evolution operators on flat parameter vectors and whole networks. They draw from the
// brain's Rng in a fixed order (see each function), which the brain file depends on.
#pragma once
#include <cstdint>
#include <vector>

#include "tactics/network.h"

namespace kvr::tactics {

enum MutationType : uint8_t { kShuffle = 0, kReweight = 1, kShift = 2, kMultiply = 3, kIncrement = 4 };

// A changed copy of v. Touches k = floor(n * rate + 0.5) elements (Shift rotates the whole
// vector by at least one place whatever the rate). Index draws cost nothing when n is 1.
// n = 0 or an unknown type returns an unchanged copy without drawing.
std::vector<float> Mutate(const std::vector<float>& v, uint8_t type, float rate, Rng& rng);

// Child of A and B. Weighted: one blend factor for the weights, then one for the biases (both
// drawn even when a vector is empty). Average: the mean, nothing drawn. False (nothing drawn,
// child untouched) when the parents' shapes differ.
bool Crossover(const Network& a, const Network& b, bool weighted, Rng& rng, Network& child);

}  // namespace kvr::tactics
