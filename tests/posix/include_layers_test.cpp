// The folders of src/ form layers, and an #include may only reach the own folder or one below:
// the composition root on top, the pure modules at the bottom. A back arrow (nav including game,
// the seam including the mod object, ...) fails here, with the file and the line that made it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// Top to bottom. A folder may include its own files and those of any folder after it.
const std::vector<std::string> kLayers = {
    "mod",          // the composition root: exports, mod object, lifecycle
    "ue4ss",        // the binding to the real mod host
    "overlay",      // menu and route overlay
    "game",         // per-frame update, thugs, episodes
    "nav",          // navmesh hooks and the engine's navigation
    "host",         // the seam: api, reflection, log
    "persistence",  // pure from here down
    "tactics",     "aps",
    "settings",    "version"};  // the build's version text, included by everything that prints it

struct Arrow {
  std::string file;  // relative to the source root
  int line = 0;
  std::string from, to;
};

int Rank(const std::string& folder) {
  const auto it = std::find(kLayers.begin(), kLayers.end(), folder);
  return it == kLayers.end() ? -1 : static_cast<int>(it - kLayers.begin());
}

// Every #include of a source file under `root` that names a folder of `root` other than the
// file's own.
std::vector<Arrow> CrossFolderIncludes(const fs::path& root) {
  static const std::regex include(R"(^\s*#\s*include\s*["<]([A-Za-z0-9_]+)/[^">]+[">])");
  std::vector<Arrow> arrows;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
    const fs::path relative = fs::relative(entry.path(), root);
    const std::string own = relative.begin()->string();
    std::ifstream in(entry.path());
    std::string text;
    std::smatch m;
    for (int number = 1; std::getline(in, text); ++number) {
      if (text.find("include") == std::string::npos || !std::regex_search(text, m, include))
        continue;
      const std::string target = m[1].str();
      if (target != own && fs::is_directory(root / target))
        arrows.push_back({relative.generic_string(), number, own, target});
    }
  }
  return arrows;
}

// "file:line: from -> to" for every arrow that does not run downwards, and a line for every
// folder the layer list does not place.
std::vector<std::string> Violations(const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& entry : fs::directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && Rank(name) < 0)
      out.push_back(name + "/: not placed in the layer order");
  }
  for (const Arrow& a : CrossFolderIncludes(root)) {
    if (Rank(a.from) >= 0 && Rank(a.to) >= 0 && Rank(a.to) > Rank(a.from)) continue;
    out.push_back(a.file + ":" + std::to_string(a.line) + ": " + a.from + " -> " + a.to);
  }
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(IncludeLayers, EveryArrowAmongTheFoldersOfSrcRunsDownwards) {
  const fs::path src = fs::path(KVR_SOURCE_DIR) / "src";
  const std::vector<Arrow> arrows = CrossFolderIncludes(src);
  // The walk really read the tree: the root reaches the game, the game reaches the hooks.
  const auto has = [&arrows](const char* from, const char* to) {
    return std::any_of(arrows.begin(), arrows.end(),
                       [&](const Arrow& a) { return a.from == from && a.to == to; });
  };
  EXPECT_TRUE(has("mod", "game"));
  EXPECT_TRUE(has("game", "nav"));
  const std::vector<std::string> bad = Violations(src);
  EXPECT_TRUE(bad.empty()) << "include arrows against the layer order:\n" << Joined(bad);
}

TEST(IncludeLayers, BackArrowsAndUnplacedFoldersAreNamed) {
  kvr::test::TempDir dir;
  const fs::path root = dir.Path();
  fs::create_directories(root / "game");
  fs::create_directories(root / "nav" / "deep");
  fs::create_directories(root / "extra");
  kvr::test::WriteFile((root / "game" / "a.h").string(), "#pragma once\n#include \"nav/b.h\"\n");
  kvr::test::WriteFile((root / "nav" / "b.h").string(),
                       "#pragma once\n#include <vector>\n#include \"nav/deep/c.h\"\n");
  kvr::test::WriteFile((root / "nav" / "deep" / "c.h").string(),
                       "// #include \"game/a.h\" only in a comment\n  #  include \"game/a.h\"\n");
  kvr::test::WriteFile((root / "extra" / "d.cpp").string(), "#include \"game/a.h\"\n");

  const std::vector<std::string> bad = Violations(root);
  const std::set<std::string> got(bad.begin(), bad.end());
  const std::set<std::string> expected = {"extra/: not placed in the layer order",
                                          "nav/deep/c.h:2: nav -> game",
                                          "extra/d.cpp:1: extra -> game"};
  EXPECT_EQ(got, expected) << Joined(bad);
}

}  // namespace
