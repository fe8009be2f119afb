#include "host/mod_paths.h"

#include "platform/text.h"

namespace kvr::host {

namespace {

std::wstring CutAtLastSeparator(const std::wstring& path) {
  const size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(0, cut);
}

}  // namespace

std::wstring ModDirectoryFromModulePath(const std::wstring& modulePath) {
  return CutAtLastSeparator(CutAtLastSeparator(modulePath));
}

ModPaths ModPathsFor(const std::wstring& modDirectory) {
  // Windows accepts '\' only as written by the mod host; POSIX needs '/' (where '\' would be
  // part of a file name), so the separator follows the directory's own style there.
#if defined(_WIN32)
  const wchar_t* sep = L"\\";
#else
  const wchar_t* sep = modDirectory.find(L'/') != std::wstring::npos ? L"/" : L"\\";
#endif
  return {platform::WideToUtf8(modDirectory + sep + L"config.ini"),
          platform::WideToUtf8(modDirectory + sep + L"brain.kvrb")};
}

}  // namespace kvr::host
