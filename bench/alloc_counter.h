// Counts heap allocations made through operator new in this program, so a benchmark can show
// that a hot path stops allocating once it is warmed up.
#pragma once
#include <cstdint>

namespace kvr::bench {

// Allocations through operator new (all threads) since the program started.
uint64_t HeapAllocations();

}  // namespace kvr::bench
