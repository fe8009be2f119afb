#include "child_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

extern char** environ;

namespace kvr::test {

bool StartSelf(const Environment& extra, ChildProcess& child) {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return false;
  self[n] = '\0';
  std::vector<std::string> texts;
  for (char** e = environ; *e; ++e) texts.emplace_back(*e);
  for (const auto& [name, value] : extra) texts.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& t : texts) envp.push_back(t.data());
  envp.push_back(nullptr);
  char* argv[] = {self, nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, self, nullptr, nullptr, argv, envp.data()) != 0) return false;
  child.handle = pid;
  child.running = true;
  return true;
}

void KillChild(ChildProcess& child) {
  if (!child.running) return;
  const pid_t pid = static_cast<pid_t>(child.handle);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  child.running = false;
}

}  // namespace kvr::test
