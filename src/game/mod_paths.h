// Where the mod keeps its files: the parent of the folder that holds the DLL
// (<ModName>\dlls\main.dll keeps config.ini and brain.kvrb in <ModName>).
#pragma once
#include <string>

namespace kvr::game {

// Cuts the module path at its last '\' or '/', then the result once more. A text without a
// separator is not cut: C:\A\B\C\mod.dll gives C:\A\B, C:\mod.dll gives C:.
std::wstring ModDirectoryFromModulePath(const std::wstring& modulePath);

struct ModPaths {
  std::string configPath;  // UTF-8, mod directory + "\config.ini" ("/" off Windows)
  std::string brainPath;   // UTF-8, mod directory + "\brain.kvrb" ("/" off Windows)
};

// Both paths empty for an empty directory.
ModPaths ModPathsFor(const std::wstring& modDirectory);

}  // namespace kvr::game
