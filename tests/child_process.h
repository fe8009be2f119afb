// Starts this test program again as a child process with extra environment variables, and ends
// it abruptly (SIGKILL, or TerminateProcess on Windows), as a crash or a power cut would.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace kvr::test {

using Environment = std::vector<std::pair<std::string, std::string>>;

struct ChildProcess {
  long long handle = 0;  // pid, or the process HANDLE on Windows
  bool running = false;
};

// False when the child could not be started.
bool StartSelf(const Environment& extra, ChildProcess& child);

// Ends the child at once and waits until it is gone.
void KillChild(ChildProcess& child);

}  // namespace kvr::test
