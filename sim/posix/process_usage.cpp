#include <dirent.h>

#include <cstdio>
#include <cstring>

#include "sim/process_usage.h"

namespace kvr::sim {

namespace {

// Open descriptors, without the one this count itself opens.
int64_t OpenDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  int64_t n = 0;
  while (const dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
  closedir(dir);
  return n - 1;
}

}  // namespace

bool ReadProcessUsage(ProcessUsage& usage) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return false;
  char line[256];
  bool rss = false, threads = false;
  while (std::fgets(line, sizeof line, status)) {
    unsigned long long value = 0;
    if (std::sscanf(line, "VmRSS: %llu kB", &value) == 1) {
      usage.residentBytes = value * 1024ull;
      rss = true;
    } else if (std::sscanf(line, "Threads: %llu", &value) == 1) {
      usage.threads = static_cast<int64_t>(value);
      threads = true;
    }
  }
  std::fclose(status);
  usage.handles = OpenDescriptors();
  return rss && threads && usage.handles >= 0;
}

}  // namespace kvr::sim
