// What every tool does with arguments before it touches anything: --version, an unknown command,
// and folders it would create or write into, checked before any play starts.
#include <gtest/gtest.h>

#include <filesystem>

#include "posix/run_tool.h"
#include "test_support.h"

namespace {

using kvr::test::RunTool;
using kvr::test::ToolRun;

bool Built(const char* tool) {
  return std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/" + tool);
}

TEST(KvrTools, EveryToolNamesItsVersionAndItsCommands) {
  for (const char* tool : {"kvr-config", "kvr-brain", "kvr-sim", "kvr-viewer", "kvr-stress"}) {
    if (!Built(tool)) continue;  // each is its own build target
    const ToolRun v = RunTool(tool, "--version");
    EXPECT_EQ(v.status, 0) << tool;
    EXPECT_EQ(v.out, std::string(tool) + " 1.0.1 (KorvathPalimarNeuralNav)\n");
  }
  const struct {
    const char* tool;
    const char* commands;
  } withCommands[] = {{"kvr-config", "default, check, keys"},
                      {"kvr-brain", "info, compare, new, dump"},
                      {"kvr-sim", "route, boot, play, match, study, soak, tune"}};
  for (const auto& t : withCommands) {
    if (!Built(t.tool)) continue;
    const ToolRun r = RunTool(t.tool, "frobnicate --x 1");
    EXPECT_EQ(r.status, 2) << t.tool;
    EXPECT_EQ(r.out, std::string(t.tool) + ": unknown command \"frobnicate\" (the commands are " +
                         t.commands + ")\n");
  }
}

// The cache folder the user names is made, its missing parents are not: a typo there must not
// leave folders about.
TEST(KvrTools, NavCacheCreatesOnlyTheNamedFolder) {
  if (!Built("kvr-sim")) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const std::string deep = dir.File("typo") + "/a/cache";
  const ToolRun bad = RunTool("kvr-sim", "play --thugs 0 --minutes 0.01 --nav-cache " + deep);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "kvr-sim play: cannot create the navmesh cache folder " + deep +
                         ": No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("typo")));
  const ToolRun ok =
      RunTool("kvr-sim", "play --thugs 0 --minutes 0.01 --nav-cache " + dir.File("cache"));
  EXPECT_EQ(ok.status, 0) << ok.out;
  EXPECT_FALSE(std::filesystem::is_empty(dir.File("cache")));
}

// A report folder that cannot be had fails at once: no play, the brain and config untouched.
TEST(KvrTools, AReportFolderIsCheckedBeforeTheMatch) {
  if (!Built("kvr-sim")) GTEST_SKIP() << "kvr-sim is not built";
  kvr::test::TempDir dir;
  const std::string mod = dir.File("mod");
  std::filesystem::create_directories(mod);
  kvr::test::WriteFile(mod + "/brain.kvrb", "hours of learning");
  kvr::test::WriteFile(mod + "/config.ini", "[General]\nMenuKey = F10\n");
  kvr::test::WriteFile(dir.File("file"), "");
  const std::string report = dir.File("file") + "/report";
  const ToolRun r = RunTool("kvr-sim", "match --minutes 1 --thugs 2 --no-progress --mod-dir " +
                                           mod + " --report " + report);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out.rfind("kvr-sim match: cannot create " + report + ": ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Not a directory"), std::string::npos) << r.out;
  EXPECT_EQ(kvr::test::ReadFile(mod + "/brain.kvrb"), "hours of learning");
  EXPECT_EQ(kvr::test::ReadFile(mod + "/config.ini"), "[General]\nMenuKey = F10\n");
  EXPECT_FALSE(std::filesystem::exists(mod + "/dlls"));
}

}  // namespace
