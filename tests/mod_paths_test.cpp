#include <gtest/gtest.h>

#include "game/mod_paths.h"
#include "platform/module.h"

namespace kvr::game {
namespace {

TEST(ModPaths, DirectoryIsTheParentOfTheDllFolder) {
  EXPECT_EQ(ModDirectoryFromModulePath(L"C:\\A\\B\\C\\mod.dll"), L"C:\\A\\B");
  EXPECT_EQ(ModDirectoryFromModulePath(L"C:\\mod.dll"), L"C:");
  EXPECT_EQ(ModDirectoryFromModulePath(L"mod.dll"), L"mod.dll");
  EXPECT_EQ(ModDirectoryFromModulePath(L"/games/Mods/Korvath/dlls/main.dll"),
            L"/games/Mods/Korvath");
  EXPECT_EQ(ModDirectoryFromModulePath(L"C:\\Mods/Korvath\\dlls/main.dll"), L"C:\\Mods/Korvath");
  EXPECT_EQ(ModDirectoryFromModulePath(L""), L"");

#if defined(_WIN32)
  const ModPaths paths = ModPathsFor(L"C:\\Mods\\K\u00F6rvath");
  EXPECT_EQ(paths.configPath, "C:\\Mods\\K\xC3\xB6rvath\\config.ini");
  EXPECT_EQ(paths.brainPath, "C:\\Mods\\K\xC3\xB6rvath\\brain.kvrb");
#else
  const ModPaths paths = ModPathsFor(L"/mods/K\u00F6rvath");
  EXPECT_EQ(paths.configPath, "/mods/K\xC3\xB6rvath/config.ini");
  EXPECT_EQ(paths.brainPath, "/mods/K\xC3\xB6rvath/brain.kvrb");
#endif
}

TEST(ModPaths, FilesGoIntoTheDirectoryItselfAndNowhereWithoutOne) {
#if !defined(_WIN32)
  // A directory of one component, as a module at "/main.dll"'s parent would give: the files
  // belong inside it, not beside it under a name that ends in "\config.ini".
  EXPECT_EQ(ModPathsFor(L"Korvath").configPath, "Korvath/config.ini");
  EXPECT_EQ(ModPathsFor(L"Korvath").brainPath, "Korvath/brain.kvrb");
#endif
  const ModPaths none = ModPathsFor(L"");
  EXPECT_TRUE(none.configPath.empty());
  EXPECT_TRUE(none.brainPath.empty());
}

TEST(ModPaths, ThisModuleHasAPath) {
  const std::wstring path =
      platform::ModulePathOf(reinterpret_cast<const void*>(&ModDirectoryFromModulePath));
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find(L"kvr-tests"), std::wstring::npos);
}

}  // namespace
}  // namespace kvr::game
