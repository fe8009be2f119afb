// What the running process holds of the system: resident memory, open handles and threads, read
// from inside the process (so a long run can watch itself for leaks).
#pragma once
#include <cstdint>

namespace kvr::sim {

struct ProcessUsage {
  uint64_t residentBytes = 0;  // resident set (Windows: working set)
  int64_t handles = 0;         // open file descriptors (Windows: kernel handles)
  int64_t threads = 0;
};

// False when the system would not say.
bool ReadProcessUsage(ProcessUsage& usage);

}  // namespace kvr::sim
