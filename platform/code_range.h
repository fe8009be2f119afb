// The executable's code range: where the game's own functions live.
//
// The navmesh hook installer only trusts function pointers inside this range.
#pragma once
#include <cstdint>

namespace kvr::platform {

struct CodeRange {
  uint64_t loadAddress = 0;
  uint64_t start = 0;  // first byte of code
  uint64_t end = 0;    // one past the last byte
};

// The main executable of the process (not the module holding this code). Windows: the PE section
// whose name begins with ".text" (the last such section wins). Elsewhere: the executable's
// executable load segment (the last one wins). False, with all fields 0, when none is found.
bool ExecutableCodeRange(CodeRange& out);

}  // namespace kvr::platform
