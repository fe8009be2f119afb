// What the running process holds of the system: resident memory, open handles and threads, read
// from inside the process (so a long run can watch itself for leaks).
#pragma once
#include <cstdint>

namespace kvr::sim {

struct ProcessUsage {
  uint64_t residentBytes = 0;  // resident set (Windows: working set)
  int64_t handles = 0;         // open file descriptors (Windows: kernel handles)
  int64_t threads = 0;
  // Bytes the C heap has handed out and not had back; -1 where the allocator will not say. Set
  // beside the resident figure, it tells a leak (both grow) from a heap that keeps freed pages.
  int64_t heapInUseBytes = -1;
};

// False when the system would not say.
bool ReadProcessUsage(ProcessUsage& usage);

}  // namespace kvr::sim
