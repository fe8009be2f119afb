#include "game/mod_paths.h"

#include "platform/text.h"

namespace kvr::game {

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
  // No directory would put the files at the root of the drive or file system.
  if (modDirectory.empty()) return {};
    // POSIX takes only '/' as a separator: a '\' would become part of the file's name.
#if defined(_WIN32)
  const wchar_t* sep = L"\\";
#else
  const wchar_t* sep = L"/";
#endif
  return {platform::WideToUtf8(modDirectory + sep + L"config.ini"),
          platform::WideToUtf8(modDirectory + sep + L"brain.kvrb")};
}

}  // namespace kvr::game
