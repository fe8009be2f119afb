#include <gtest/gtest.h>

#include "host/mod_paths.h"
#include "platform/module.h"

namespace kvr::host {
namespace {

TEST(ModPaths, DirectoryIsTheParentOfTheDllFolder) {
  EXPECT_EQ(ModDirectoryFromModulePath(L"C:\\A\\B\\C\\mod.dll"), L"C:\\A\\B");
  EXPECT_EQ(ModDirectoryFromModulePath(L"C:\\mod.dll"), L"C:");
  EXPECT_EQ(ModDirectoryFromModulePath(L"mod.dll"), L"mod.dll");
  EXPECT_EQ(ModDirectoryFromModulePath(L"/games/Mods/Korvath/dlls/main.dll"),
            L"/games/Mods/Korvath");
  EXPECT_EQ(ModDirectoryFromModulePath(L"C:\\Mods/Korvath\\dlls/main.dll"), L"C:\\Mods/Korvath");
  EXPECT_EQ(ModDirectoryFromModulePath(L""), L"");

  const ModPaths paths = ModPathsFor(L"C:\\Mods\\K\u00F6rvath");
  EXPECT_EQ(paths.configPath, "C:\\Mods\\K\xC3\xB6rvath\\config.ini");
  EXPECT_EQ(paths.brainPath, "C:\\Mods\\K\xC3\xB6rvath\\brain.kvrb");
}

TEST(ModPaths, ThisModuleHasAPath) {
  const std::wstring path =
      platform::ModulePathOf(reinterpret_cast<const void*>(&ModDirectoryFromModulePath));
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find(L"kvr-tests"), std::wstring::npos);
}

}  // namespace
}  // namespace kvr::host
