// Runs kvr-msvc-game (the stand-in game around the stand-in MSVC-built mod host) as a process
// of its own, with the mod installed as <temp mod folder>/dlls/main.dll, and reads what it says.
#pragma once
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/text.h"
#include "test_support.h"

namespace kvr::test {

// The folder of this test program, where the build puts main.dll and msvc_host/.
inline std::filesystem::path BuildDir() {
  static const int anchor = 0;
  return std::filesystem::path(platform::ModulePathOf(&anchor)).parent_path();
}

inline std::filesystem::path MsvcHostDir() {
  return BuildDir() / "msvc_host";
}

struct GameRun {
  DWORD exitCode = ~0u;
  std::vector<std::string> out;  // one entry a line, without the line end

  bool Has(const std::string& line) const {
    return std::find(out.begin(), out.end(), line) != out.end();
  }
  // Lines starting with `prefix`, the prefix taken off.
  std::vector<std::string> With(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& l : out)
      if (l.rfind(prefix, 0) == 0) found.push_back(l.substr(prefix.size()));
    return found;
  }
  long long Report(const std::string& key) const {
    const auto v = With("report " + key + " ");
    return v.empty() ? -1 : std::stoll(v.front());
  }
  std::string Text() const {
    std::string all;
    for (const std::string& l : out) all += l + "\n";
    return all;
  }
};

// Copies `module` into the mod folder as dlls/main.dll and returns that path.
inline std::filesystem::path InstallMod(const TempDir& modDir,
                                        const std::filesystem::path& module) {
  const std::filesystem::path dlls = modDir.Path() / "dlls";
  std::filesystem::create_directories(dlls);
  std::filesystem::copy_file(module, dlls / "main.dll",
                             std::filesystem::copy_options::overwrite_existing);
  return dlls / "main.dll";
}

inline std::wstring Quoted(const std::wstring& arg) {
  return L"\"" + arg + L"\"";
}

inline GameRun RunGame(const std::vector<std::wstring>& args) {
  GameRun run;
  std::wstring command = Quoted((MsvcHostDir() / "kvr-msvc-game.exe").wstring());
  for (const std::wstring& a : args) command += L" " + Quoted(a);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  const BOOL started =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  std::string all;
  if (started) {
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) all.append(buffer, n);
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(readEnd);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    std::string l = all.substr(start, end - start);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    run.out.push_back(std::move(l));
    start = end + 1;
  }
  return run;
}

}  // namespace kvr::test
