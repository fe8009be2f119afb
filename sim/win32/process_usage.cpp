#include <windows.h>
// After windows.h.
#include <psapi.h>
#include <tlhelp32.h>

#include "sim/process_usage.h"

namespace kvr::sim {

namespace {

int64_t ThreadsOfThisProcess() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  const DWORD self = GetCurrentProcessId();
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int64_t n = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    n += entry.th32OwnerProcessID == self;
  CloseHandle(snapshot);
  return n;
}

}  // namespace

bool ReadProcessUsage(ProcessUsage& usage) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  // The kernel32 name: no psapi.dll import needed.
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return false;
  usage.residentBytes = counters.WorkingSetSize;
  DWORD handles = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &handles)) return false;
  usage.handles = handles;
  usage.threads = ThreadsOfThisProcess();
  return usage.threads > 0;
}

}  // namespace kvr::sim
