// kvr-msvc-game: a stand-in for the game process around the real mod host. It runs the
// simulated engine, loads the stand-in UE4SS.dll (built for the MSVC C++ ABI), which loads the
// mod's main.dll and drives it in the host's order: start_mod; on_update from the host's own
// thread before and after on_unreal_init; ProcessEvent callbacks (ReceiveTick among them) from
// the game thread; object deletions on several threads; the object array's shutdown or not;
// uninstall_mod; the DLL unloaded while the world still ticks.
//
// It reports on standard output, one fact a line ("step: ...", "line <device> <arg>: <text>",
// "report <key> <value>", "brain ..."), for the tests to read. A fault nobody handled ends it
// with exit code 3 after a "fault" line; a run that completes exits with 0.
//
//   kvr-msvc-game --mod DIR\dlls\main.dll [--host PATH\UE4SS.dll] [--until TEXT] [--seconds S]
//                 [--inject-faults N] [--throw MASK] [--no-gmalloc] [--deletions N]
//                 [--end uninstall|array-shutdown] [--other-events] [--gcc-layout]
// Without --host the mod runs with no host at all.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine_backend.h"
#include "mod/mod_base.h"
#include "platform/library.h"
#include "platform/text.h"
#include "sim/forwarding_host.h"
#include "sim/game_classes.h"
#include "standin_api.h"

namespace {

using namespace kvr;
namespace fs = std::filesystem;

struct Options {
  std::string mod;
  std::string host;
  std::wstring until;
  double seconds = 20;
  int injectFaults = 0;
  int throwing = 0;
  bool gmalloc = true;
  int deletions = 0;
  bool arrayShutdown = false;
  bool otherEvents = false;
  bool gccLayout = false;
};

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
}

LONG WINAPI ReportFault(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  char line[160];
  std::snprintf(
      line, sizeof line, "fault 0x%08lX at %p (access kind %llu)\n",
      static_cast<unsigned long>(r->ExceptionCode), r->ExceptionAddress,
      r->NumberParameters > 0 ? static_cast<unsigned long long>(r->ExceptionInformation[0]) : 0ull);
  std::fputs(line, stdout);
  std::fflush(stdout);
  ExitProcess(3);
}

// The debugger output, for a mod with nowhere else to write.
LONG CALLBACK CatchDebugOutput(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2) {
    std::string text(reinterpret_cast<const char*>(r->ExceptionInformation[1]),
                     static_cast<size_t>(r->ExceptionInformation[0]));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    Say("debug output: " + text);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--mod" && more)
      o.mod = argv[++i];
    else if (a == "--host" && more)
      o.host = argv[++i];
    else if (a == "--until" && more)
      o.until = platform::Utf8ToWide(argv[++i]);
    else if (a == "--seconds" && more)
      o.seconds = std::stod(argv[++i]);
    else if (a == "--inject-faults" && more)
      o.injectFaults = std::stoi(argv[++i]);
    else if (a == "--throw" && more)
      o.throwing = std::stoi(argv[++i]);
    else if (a == "--deletions" && more)
      o.deletions = std::stoi(argv[++i]);
    else if (a == "--end" && more)
      o.arrayShutdown = std::string(argv[++i]) == "array-shutdown";
    else if (a == "--no-gmalloc")
      o.gmalloc = false;
    else if (a == "--other-events")
      o.otherEvents = true;
    else if (a == "--gcc-layout")
      o.gccLayout = true;
    else
      return false;
  }
  return !o.mod.empty();
}

fs::path ModDir(const Options& o) {
  return fs::path(platform::Utf8ToWide(o.mod)).parent_path().parent_path();
}

void SayBrain(const Options& o, const char* when) {
  Say(std::string("brain ") + when + ": " +
      (fs::exists(ModDir(o) / "brain.kvrb") ? "present" : "absent"));
}

void SayFileCount(const Options& o) {
  int files = 0;
  for (const auto& entry : fs::directory_iterator(ModDir(o))) files += entry.is_regular_file();
  Say("files in mod folder: " + std::to_string(files));
}

// No host in the process: the mod is started and stopped through its table, as a host would.
int RunWithoutHost(const Options& o, sim::World& world) {
  AddVectoredExceptionHandler(1, CatchDebugOutput);
  std::string error;
  void* module = platform::LoadModule(o.mod, error);
  auto start =
      reinterpret_cast<mod::CppUserModBase* (*)()>(platform::ModuleSymbol(module, "start_mod"));
  auto uninstall = reinterpret_cast<void (*)(mod::CppUserModBase*)>(
      platform::ModuleSymbol(module, "uninstall_mod"));
  if (!start || !uninstall) {
    Say("cannot load the mod: " + error);
    return 2;
  }
  mod::CppUserModBase* mod = start();
  Say(mod ? "step: start_mod gave an object" : "step: start_mod gave nothing");
  if (!mod) return 2;
  mod::HostCallOnUpdate(mod);
  mod::HostCallOnUnrealInit(mod);
  for (int i = 0; i < 30; ++i) world.Tick(1.0 / 60);
  mod::HostCallOnUpdate(mod);
  uninstall(mod);
  Say("step: uninstalled");
  SayFileCount(o);
  return 0;
}

// Objects for the deleting threads: plain actors nobody else holds.
std::vector<host::UObject*> SpawnDeletables(sim::World& world, const sim::GameClasses& classes,
                                            int count) {
  std::vector<host::UObject*> out;
  for (int i = 0; i < count; ++i)
    out.push_back(world.Spawn(*classes.actor, L"Crate_" + std::to_wstring(i)));
  return out;
}

bool Seen(const msvc_host::EngineBackend& backend, const std::wstring& text) {
  if (text.empty()) return false;
  for (const msvc_host::DeviceLine& line : backend.Lines())
    if (line.text.find(text) != std::wstring::npos) return true;
  return false;
}

void SayReport(const KvrStandinReport& r) {
  auto say = [](const char* key, long long value) {
    Say(std::string("report ") + key + " " + std::to_string(value));
  };
  say("updates", r.updates);
  say("unreal_inits", r.unreal_inits);
  say("callbacks", r.callbacks);
  say("callback_calls", r.callback_calls);
  say("function_copies", r.function_copies);
  say("function_moves", r.function_moves);
  say("function_destroys", r.function_destroys);
  say("listeners", r.listeners);
  say("listener_notices", r.listener_notices);
  say("listener_shutdowns", r.listener_shutdowns);
  say("exceptions_thrown", r.exceptions_thrown);
  say("blocks_handed_over", r.blocks_handed_over);
  say("heap_unexplained", r.heap_unexplained);
}

int RunWithHost(const Options& o, sim::World& world, const sim::GameClasses& classes,
                msvc_host::EngineBackend& backend) {
  msvc_host::StandinApi api;
  std::string error;
  if (!api.Load(o.host, error)) {
    Say("cannot load the host: " + error);
    return 2;
  }
  api.start(backend.Table(), o.throwing, o.gmalloc ? 1 : 0);
  msvc_host::WorldHookup hookup(world, api);
  std::vector<host::UObject*> deletables = SpawnDeletables(world, classes, o.deletions);

  Say("step: start_mod");
  if (!api.loadMod(platform::Utf8ToWide(o.mod).c_str())) {
    Say("start_mod gave no object");
    return 2;
  }
  if (!o.gccLayout) {
    // Read as the host reads its base class's members.
    const KvrStandinReport info = api.Report(true);
    Say("report mod_name " + platform::WideToUtf8(info.mod_name));
    Say("report mod_version " + platform::WideToUtf8(info.mod_version));
  }
  if (o.otherEvents) api.otherEvents();

  // The host's own thread: on_update, all along.
  std::atomic<bool> stop{false};
  std::thread hostLoop([&] {
    while (!stop.load()) {
      api.update();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  while (api.Report(false).updates < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  Say("step: on_unreal_init");
  api.unrealInit();
  const int64_t updatesAtInit = api.Report(false).updates;

  // The game thread: frames until the awaited line or the time is up; deletions on three
  // threads of their own while frames run.
  std::vector<std::thread> deleters;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.seconds);
  for (uint64_t frame = 0; std::chrono::steady_clock::now() < deadline; ++frame) {
    world.Tick(1.0 / 60);
    if (frame == 10 && !deletables.empty()) {
      for (size_t t = 0; t < 3; ++t) {
        deleters.emplace_back([&world, &deletables, t] {
          for (size_t i = t; i < deletables.size(); i += 3) world.Destroy(deletables[i]);
        });
      }
    }
    if (Seen(backend, o.until) && frame > 10) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  for (std::thread& d : deleters) d.join();
  while (api.Report(false).updates < updatesAtInit + 3)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  stop = true;
  hostLoop.join();

  if (o.arrayShutdown) {
    Say("step: object array shutdown");
    world.Shutdown();
    SayBrain(o, "after the object array shutdown");
    fs::remove(ModDir(o) / "brain.kvrb");
  }
  Say("step: uninstall_mod");
  api.uninstall();
  SayBrain(o, "after uninstall_mod");
  Say("step: unload");
  api.unload();
  // The mod's callback stays registered with the host and is still called.
  for (int i = 0; i < 5; ++i) world.Tick(1.0 / 60);
  Say("step: ticked after unload");

  SayReport(api.Report(false));
  for (const msvc_host::DeviceLine& line : backend.Lines()) {
    std::string text = platform::WideToUtf8(line.text);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    Say("line " + std::to_string(line.device) + " " + std::to_string(line.optionalArg) + ": " +
        text);
  }
  return 0;
}

}  // namespace

// A game has its window and its Direct3D device long before the mod host loads a mod; the
// mod's overlay makes a throw-away pair of its own at start-up, which must find the system's
// window and graphics libraries set up already, as in a game (both are kept to the end).
void GameWindowAndDevice() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KvrMsvcGameWindow";
  RegisterClassExW(&wc);
  CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr, nullptr,
                  wc.hInstance, nullptr);
  // D3D11CreateDevice(default adapter, hardware, no module, no flags, default levels, SDK 7,
  // device, level, context), looked up so this program needs no Direct3D headers.
  using CreateDevice =
      HRESULT(WINAPI*)(void*, int, HMODULE, UINT, const void*, UINT, UINT, void**, void*, void**);
  HMODULE d3d = LoadLibraryW(L"d3d11.dll");
  auto create = d3d ? reinterpret_cast<CreateDevice>(
                          reinterpret_cast<void*>(GetProcAddress(d3d, "D3D11CreateDevice")))
                    : nullptr;
  void* device = nullptr;
  void* context = nullptr;
  if (create) create(nullptr, 1, nullptr, 0, nullptr, 0, 7, &device, nullptr, &context);
}

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // a crash must not eat what was said before it
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(ReportFault);
  GameWindowAndDevice();
  Options o;
  if (!Parse(argc, argv, o)) {
    Say("usage: kvr-msvc-game --mod PATH [--host PATH] [options]");
    return 2;
  }
  sim::World world;
  const sim::GameClasses classes = sim::RegisterGameClasses(world);
  world.Spawn(*classes.actor, L"GameStateTicker", {.ticks = true});
  sim::ForwardingHost engine(world);
  engine.InjectCorruptObjects(o.injectFaults);
  msvc_host::EngineBackend backend(engine);
  const int code =
      o.host.empty() ? RunWithoutHost(o, world) : RunWithHost(o, world, classes, backend);
  std::fflush(stdout);
  // Leave without running the world's or the modules' teardown: the host process of a game
  // ends the same way, and the mod must not depend on its destructors running.
  ExitProcess(static_cast<UINT>(code));
}
