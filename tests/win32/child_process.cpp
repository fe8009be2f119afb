#include "child_process.h"

#include <windows.h>

#include "platform/text.h"

namespace kvr::test {

bool StartSelf(const Environment& extra, ChildProcess& child) {
  wchar_t self[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
  if (n == 0 || n >= std::size(self)) return false;
  // The child inherits this process's environment as it is at creation time.
  for (const auto& [name, value] : extra)
    SetEnvironmentVariableW(platform::Utf8ToWide(name).c_str(),
                            platform::Utf8ToWide(value).c_str());
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &info);
  for (const auto& [name, value] : extra)
    SetEnvironmentVariableW(platform::Utf8ToWide(name).c_str(), nullptr);
  if (!started) return false;
  CloseHandle(info.hThread);
  child.handle = reinterpret_cast<long long>(info.hProcess);
  child.running = true;
  return true;
}

void KillChild(ChildProcess& child) {
  if (!child.running) return;
  HANDLE process = reinterpret_cast<HANDLE>(child.handle);
  TerminateProcess(process, 9);
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
  child.running = false;
}

}  // namespace kvr::test
