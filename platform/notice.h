// A line for a person watching the process, for when the mod has no log of its own to write to:
// the debugger output on Windows, standard error elsewhere.
#pragma once
#include <string>

namespace kvr::platform {

// Any thread; never fails visibly. A line end is added.
void DebugNotice(const std::string& line);

}  // namespace kvr::platform
