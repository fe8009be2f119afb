#include "sim/standin_host.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#include "host/mod_base.h"
#include "platform/file.h"
#include "platform/library.h"
#include "platform/module.h"
#include "platform/text.h"
#include "sim/forwarding_host.h"
#include "sim/game_classes.h"
#include "sim/sim_clock.h"

#if defined(_WIN32)
#define KVR_HOST_EXPORT __declspec(dllexport)
#else
#define KVR_HOST_EXPORT __attribute__((visibility("default")))
#endif

namespace {
std::atomic<kvr::host::IHost*> g_bootHost{nullptr};
}

// What the mod looks up in the program that loaded it.
extern "C" KVR_HOST_EXPORT kvr::host::IHost* kvr_host_interface() {
  return g_bootHost.load();
}

namespace kvr::sim {

namespace {

namespace fs = std::filesystem;

using StartMod = host::CppUserModBase* (*)();
using UninstallMod = void (*)(host::CppUserModBase*);

fs::path PathOf(const std::string& utf8) {
  return fs::path(platform::Utf8ToWide(utf8));
}

bool InstallModule(const BootOptions& options, fs::path& installed, std::string& error) {
  const std::string source = options.modBinary.empty() ? DefaultModBinary() : options.modBinary;
  std::error_code ec;
  std::string onDisk, wanted;
  const fs::path dlls = PathOf(options.modDir) / "dlls";
  fs::create_directories(dlls, ec);
  installed = dlls / "main.dll";
  // Rewriting a module file that is loaded (an earlier run in this process) would corrupt it.
  if (fs::exists(installed, ec) &&
      platform::ReadWholeFile(platform::WideToUtf8(installed.wstring()), onDisk) &&
      platform::ReadWholeFile(source, wanted) && onDisk == wanted)
    return true;
  // Removed first: the mingw runtime's copy_file does not overwrite an existing file.
  fs::remove(installed, ec);
  if (!fs::copy_file(PathOf(source), installed, ec)) {
    error = "cannot install " + source + " as " + platform::WideToUtf8(installed.wstring()) + ": " +
            ec.message();
    return false;
  }
  return true;
}

// The mod host's order: its own update before and after Unreal is up, the engine's frames
// driving the pre-callback. Every call goes through the object's table as the host makes it.
void DriveMod(host::CppUserModBase* mod, World& world, const BootOptions& options) {
  host::HostCallOnUpdate(mod);
  host::HostCallOnUnrealInit(mod);
  for (int i = 0; i < options.ticks; ++i) {
    world.Tick(options.frameSeconds);
    host::HostCallOnUpdate(mod);
  }
  if (options.shutdownObjectArray) world.Shutdown();
}

}  // namespace

std::string DefaultModBinary() {
  const fs::path self(platform::ModulePathOf(reinterpret_cast<const void*>(&kvr_host_interface)));
#if defined(_WIN32)
  return platform::WideToUtf8((self.parent_path() / "main.dll").wstring());
#else
  return (self.parent_path() / "libkvr_mod.so").string();
#endif
}

bool RunBoot(const BootOptions& options, BootReport& report, std::string& error) {
  fs::path installed;
  if (!InstallModule(options, installed, error)) return false;

  World world;
  const GameClasses classes = RegisterGameClasses(world);
  world.Spawn(*classes.actor, L"GameStateTicker", {.ticks = true});
  ForwardingHost host(world);
  host.OfferClock(&SimulatedNanoseconds);
  host.InjectCorruptObjects(options.injectFaults);
  g_bootHost.store(&host);

  void* module = platform::LoadModule(platform::WideToUtf8(installed.wstring()), error);
  auto start = reinterpret_cast<StartMod>(platform::ModuleSymbol(module, "start_mod"));
  auto uninstall = reinterpret_cast<UninstallMod>(platform::ModuleSymbol(module, "uninstall_mod"));
  if (module && (!start || !uninstall)) error = "the mod module lacks start_mod or uninstall_mod";
  if (module && start && uninstall) {
    if (host::CppUserModBase* mod = start()) {
      DriveMod(mod, world, options);
      uninstall(mod);
    }
  }
  for (const std::wstring& line : world.Output().Lines()) {
    std::string text = platform::WideToUtf8(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    report.lines.push_back(std::move(text));
  }
  report.faultsInjected = host.corruptObjectsHandedOut.load();
  report.frames = world.FrameCount();
  world.Shutdown();
  g_bootHost.store(nullptr);
  // The module stays loaded: its pre-callback may still sit in engine structures we no longer
  // run, and unloading code that a host still points at is how hosts crash.
  return module && start && uninstall;
}

}  // namespace kvr::sim
