// main.dll under a stand-in for the real, MSVC-built mod host: kvr-msvc-game plays the game
// around the stand-in UE4SS.dll, which loads the mod and calls it as the host does (real MSVC
// virtual calls into the mod object, the host's decorated exports, its std::function and
// vector handling, its heap, its exceptions).
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "../msvc_host/engine.h"
#include "msvc_host_run.h"

namespace kvr::test {
namespace {

const std::string kPrefix = "[KorvathNeuralNav] ";
const std::string kNavigationOk =
    kPrefix +
    "navigation queries: K2_ProjectPointToNavigation OK (64 bytes), NavigationRaycast OK (72 "
    "bytes)";

std::wstring HostDll(const char* variant) {
  return (MsvcHostDir() / variant / "UE4SS.dll").wstring();
}

std::wstring ModuleArg(const TempDir& dir) {
  return InstallMod(dir, BuildDir() / "main.dll").wstring();
}

// The three start-up lines, as the host's first output device received them.
void ExpectStartUpLines(const std::vector<std::string>& lines, size_t first) {
  ASSERT_GE(lines.size(), first + 3);
  EXPECT_EQ(lines[first], kPrefix +
                              "v1.0.1 by Dunmere (Halvenor) - config.ini not found - using "
                              "defaults; wrote a fresh documented config.ini");
  EXPECT_EQ(lines[first + 1], kPrefix + "fresh brain (no saved brain yet)");
  EXPECT_TRUE(std::regex_match(
      lines[first + 2],
      std::regex(
          R"(\[KorvathNeuralNav\] game code section 0x[0-9A-F]+\.\.0x[0-9A-F]+; waiting for a level)")))
      << lines[first + 2];
}

TEST(MsvcHost, StartsTicksAndUninstallsTheModThroughTheHostsOwnCalls) {
  TempDir dir;
  const GameRun run = RunGame({L"--host", HostDll("full"), L"--mod", ModuleArg(dir), L"--until",
                               L"navigation queries", L"--deletions", L"60", L"--other-events"});
  ASSERT_EQ(run.exitCode, 0u) << run.Text();

  // Both devices got every line; the one that takes the optional argument got 0 with each.
  const std::vector<std::string> plain = run.With("line 0 0: ");
  const std::vector<std::string> optional = run.With("line 1 0: ");
  ExpectStartUpLines(plain, 0);
  EXPECT_EQ(plain, optional);
  EXPECT_EQ(std::count(plain.begin(), plain.end(), kNavigationOk), 1) << run.Text();

  // Slots 1 and 2 reached on_update and on_unreal_init; the object's text members are where the
  // host's base class has them.
  EXPECT_EQ(run.Report("unreal_inits"), 1);
  EXPECT_GE(run.Report("updates"), 6);
  EXPECT_TRUE(run.Has("report mod_name KorvathPalimarNeuralNav"));
  EXPECT_TRUE(run.Has("report mod_version 1.0.1"));

  // The pre-callback was copied into the host's vector, moved when it grew, destroyed as a
  // by-value argument, and called for every ProcessEvent.
  EXPECT_EQ(run.Report("callbacks"), 2) << "the mod's and the host's own";
  EXPECT_GE(run.Report("function_copies"), 1);
  EXPECT_GE(run.Report("function_moves"), 1);
  EXPECT_GE(run.Report("function_destroys"), 2);
  EXPECT_GT(run.Report("callback_calls"), 20);

  // Deletions on three threads reached the mod's listener; uninstall took it away again.
  EXPECT_GE(run.Report("listener_notices"), 60);
  EXPECT_EQ(run.Report("listeners"), 0);
  EXPECT_TRUE(run.Has("brain after uninstall_mod: present"));
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "config.ini"));

  // Strings the host returned were taken over and freed on the host's heap.
  EXPECT_GT(run.Report("blocks_handed_over"), 0);
  EXPECT_EQ(run.Report("heap_unexplained"), 0);
  EXPECT_EQ(run.Report("exceptions_thrown"), 0);

  // The host unloaded the DLL and went on calling the callback it still holds: the module is
  // pinned, so the code is still there.
  EXPECT_TRUE(run.Has("step: ticked after unload"));
}

TEST(MsvcHost, AfterTheObjectArrayShutdownUninstallSavesNothingMore) {
  TempDir dir;
  const GameRun run = RunGame({L"--host", HostDll("full"), L"--mod", ModuleArg(dir), L"--until",
                               L"navigation queries", L"--end", L"array-shutdown"});
  ASSERT_EQ(run.exitCode, 0u) << run.Text();
  EXPECT_TRUE(run.Has("brain after the object array shutdown: present")) << run.Text();
  EXPECT_TRUE(run.Has("brain after uninstall_mod: absent")) << run.Text();
  EXPECT_EQ(run.Report("listener_shutdowns"), 1);
  EXPECT_EQ(run.Report("listeners"), 0) << "the listener removed itself";
  EXPECT_EQ(run.Report("heap_unexplained"), 0);
}

TEST(MsvcHost, TwentyFaultsUnderTheHostTripTheGuardOnce) {
  TempDir dir;
  const std::string tripped =
      kPrefix +
      "20 faults caught in the per-frame update - mod stepped aside (paths restored to vanilla)";
  const GameRun run =
      RunGame({L"--host", HostDll("full"), L"--mod", ModuleArg(dir), L"--inject-faults", L"20",
               L"--until", L"20 faults caught", L"--seconds", L"60"});
  ASSERT_EQ(run.exitCode, 0u) << run.Text();
  const std::vector<std::string> lines = run.With("line 0 0: ");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), tripped), 1) << run.Text();
  EXPECT_TRUE(run.Has("brain after uninstall_mod: present"));
}

TEST(MsvcHost, CallsTheHostAnswersWithExceptionsBecomeFailuresNotCrashes) {
  TempDir dir;
  const int throwing = KVR_THROW_FIELD_NAME | KVR_THROW_DEVICE_1 | KVR_THROW_REMOVE_LISTENER;
  const GameRun run = RunGame({L"--host", HostDll("full"), L"--mod", ModuleArg(dir), L"--throw",
                               std::to_wstring(throwing), L"--until", L"navigation queries"});
  ASSERT_EQ(run.exitCode, 0u) << run.Text();
  EXPECT_GT(run.Report("exceptions_thrown"), 3);

  const std::vector<std::string> lines = run.With("line 0 0: ");
  ExpectStartUpLines(lines, 0);
  EXPECT_TRUE(run.With("line 1 0: ").empty()) << "the throwing device lost its lines";
  // Without parameter names the layouts are incomplete; the mod says so and goes on.
  const std::string fieldNameThrew =
      kPrefix +
      "UE4SS call RC::Unreal::FField::GetName() threw an exception; the mod went on "
      "without its answer";
  EXPECT_EQ(std::count(lines.begin(), lines.end(), fieldNameThrew), 1) << run.Text();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      kPrefix + "navigation queries: K2_ProjectPointToNavigation MISSING (64 "
                                "bytes), NavigationRaycast MISSING (72 bytes)"),
            lines.end())
      << run.Text();
  // The listener could not be removed: it stays, and the pinned module keeps answering it.
  EXPECT_EQ(run.Report("listeners"), 1);
  EXPECT_TRUE(run.Has("step: ticked after unload"));
  EXPECT_EQ(run.Report("heap_unexplained"), 0);
}

TEST(MsvcHost, AHostLackingAnExportLoadsTheModAndLogsWhatIsOff) {
  TempDir dir;
  const GameRun run =
      RunGame({L"--host", HostDll("lacking"), L"--mod", ModuleArg(dir), L"--seconds", L"1.5"});
  ASSERT_EQ(run.exitCode, 0u) << run.Text();
  const std::vector<std::string> lines = run.With("line 0 0: ");
  ASSERT_GE(lines.size(), 4u) << run.Text();
  EXPECT_EQ(lines[0],
            kPrefix +
                "UE4SS.dll does not export RC::Unreal::UObjectGlobals::FindObject(UClass*, "
                "UObject*, const wchar_t*, bool, ObjectSearcher*) "
                "(?FindObject@UObjectGlobals@Unreal@RC@@YAPEAVUObject@23@PEAVUClass@23@PEAV423@"
                "PEB_W_NPEAUObjectSearcher@23@@Z): finding the navigation system is off");
  ExpectStartUpLines(lines, 1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.find("navigation queries") != std::string::npos;
                          }),
            0);
  EXPECT_TRUE(run.Has("brain after uninstall_mod: present"));
}

// The regression: an object laid out by GCC's virtual tables gets its deleting destructor
// called where the host calls on_update, and on_unreal_init never runs.
TEST(MsvcHost, AnObjectWithGccsOwnLayoutBreaksUnderTheHost) {
  TempDir dir;
  const std::wstring module = InstallMod(dir, MsvcHostDir() / "gcc_layout_mod.dll").wstring();
  const GameRun run =
      RunGame({L"--host", HostDll("full"), L"--mod", module, L"--gcc-layout", L"--seconds", L"1"});
  EXPECT_NE(run.exitCode, 0u) << run.Text();
  EXPECT_FALSE(run.With("fault 0x").empty()) << run.Text();
  const auto destructor =
      std::find(run.out.begin(), run.out.end(), "gcc layout mod: destructor ran");
  EXPECT_LT(destructor, std::find(run.out.begin(), run.out.end(), "step: on_unreal_init"))
      << run.Text();
  EXPECT_FALSE(run.Has("gcc layout mod: on_unreal_init ran"));
}

TEST(MsvcHost, WithNoHostAtAllTheModStaysInertAndSaysSo) {
  TempDir dir;
  const GameRun run = RunGame({L"--mod", ModuleArg(dir)});
  ASSERT_EQ(run.exitCode, 0u) << run.Text();
  EXPECT_TRUE(run.Has("step: uninstalled"));
  EXPECT_TRUE(run.Has("files in mod folder: 0")) << "no config.ini, no brain";
  EXPECT_TRUE(
      run.Has("debug output: [KorvathNeuralNav] no mod host in this process (neither "
              "UE4SS.dll nor the simulator's host interface): the mod stays inactive"))
      << run.Text();
}

}  // namespace
}  // namespace kvr::test
