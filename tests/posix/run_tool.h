// Runs one of the project's command-line tools the way a user does, from the build folder.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace kvr::test {

struct ToolRun {
  int status = -1;  // exit status; -1 when the tool did not exit normally
  std::string out;  // standard output, with standard error folded in unless told otherwise
};

inline ToolRun RunTool(const std::string& tool, const std::string& args, bool foldErrors = true) {
  ToolRun r;
  const std::string command = std::string(KVR_BINARY_DIR) + "/" + tool + " " + args +
                              (foldErrors ? " 2>&1" : " 2>/dev/null");
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

// kvr-sim from the build folder; the tests of its commands skip when it was not built.
inline ToolRun RunSim(const std::string& args, bool foldErrors = true) {
  return RunTool("kvr-sim", args, foldErrors);
}

inline bool HaveSim() {
  return std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/kvr-sim");
}

}  // namespace kvr::test
