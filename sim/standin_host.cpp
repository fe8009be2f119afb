#include "sim/standin_host.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#include "mod/lifecycle.h"
#include "mod/mod.h"
#include "mod/mod_base.h"
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

using StartMod = mod::CppUserModBase* (*)();
using UninstallMod = void (*)(mod::CppUserModBase*);

fs::path PathOf(const std::string& utf8) {
  return fs::path(platform::Utf8ToWide(utf8));
}

bool InstallModule(const std::string& modDir, const std::string& modBinary, fs::path& installed,
                   std::string& error) {
  const std::string source = modBinary.empty() ? DefaultModBinary() : modBinary;
  std::error_code ec;
  std::string onDisk, wanted;
  const fs::path dlls = PathOf(modDir) / "dlls";
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

}  // namespace

std::string DefaultModBinary() {
  const fs::path self(platform::ModulePathOf(reinterpret_cast<const void*>(&kvr_host_interface)));
#if defined(_WIN32)
  return platform::WideToUtf8((self.parent_path() / "main.dll").wstring());
#else
  return (self.parent_path() / "libkvr_mod.so").string();
#endif
}

StandInHost::StandInHost(World& world) : host_(world) {
  host_.OfferClock(&SimulatedNanoseconds);
}

StandInHost::~StandInHost() {
  Stop();
  kvr::host::IHost* self = &host_;
  g_bootHost.compare_exchange_strong(self, nullptr);
  if (host::Host() == &host_) host::SetHost(nullptr);
}

bool StandInHost::Start(const std::string& modDir, const std::string& modBinary, std::string& error,
                        bool initialize) {
  if (mod_) {
    error = "a mod is already running";
    return false;
  }
  fs::path installed;
  if (!InstallModule(modDir, modBinary, installed, error)) return false;
  g_bootHost.store(&host_);
  void* module = platform::LoadModule(platform::WideToUtf8(installed.wstring()), error);
  if (!module) return false;
  auto start = reinterpret_cast<StartMod>(platform::ModuleSymbol(module, "start_mod"));
  uninstall_ = reinterpret_cast<UninstallMod>(platform::ModuleSymbol(module, "uninstall_mod"));
  if (!start || !uninstall_) {
    error = "the mod module lacks start_mod or uninstall_mod";
    return false;
  }
  start_ = start;
  mod_ = start();
  if (!mod_) {
    error = "start_mod returned no mod object";
    return false;
  }
  // The mod host's order: its own update before and after Unreal is up; every call goes
  // through the object's table as the host makes it.
  if (initialize) {
    mod::HostCallOnUpdate(mod_);
    mod::HostCallOnUnrealInit(mod_);
  }
  return true;
}

bool StandInHost::StartLinked(const std::string& modDir, std::string& error) {
  if (mod_) {
    error = "a mod is already running";
    return false;
  }
  g_bootHost.store(&host_);
  host::SetHost(&host_);  // found by the mod when this program does not export its interface
  auto* mod = new mod::KorvathPalimarNeuralNav();
  if (!mod->Hosted()) {
    mod::HostDelete(mod);
    error = "the linked mod found no host";
    return false;
  }
  mod_ = mod;
  uninstall_ = &mod::HostDelete;
  mod::HostCallOnUpdate(mod_);
  // What on_unreal_init does, but with the given folder: the program's own file is not the
  // mod's module, and a program of its own has no swap chain to hook.
  mod::StartUp(mod::ModRuntime::Get(), platform::Utf8ToWide(modDir));
  return true;
}

void StandInHost::Update() {
  if (mod_) mod::HostCallOnUpdate(mod_);
}

void StandInHost::Stop() {
  if (mod_ && uninstall_) uninstall_(mod_);
  mod_ = nullptr;
}

mod::CppUserModBase* StandInHost::Restart(bool startAgain) {
  Stop();
  if (startAgain && start_) mod_ = start_();
  return mod_;
}

std::vector<std::string> LogLines(World& world, size_t first) {
  std::vector<std::string> lines;
  for (const std::wstring& line : world.Output().LinesFrom(first)) {
    std::string text = platform::WideToUtf8(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    lines.push_back(std::move(text));
  }
  return lines;
}

bool RunBoot(const BootOptions& options, BootReport& report, std::string& error) {
  World world;
  const GameClasses classes = RegisterGameClasses(world);
  world.Spawn(*classes.actor, L"GameStateTicker", {.ticks = true});
  bool ok;
  {
    StandInHost host(world);
    host.Seam().InjectCorruptObjects(options.injectFaults);
    const bool presented = options.present.window;
    ok = host.Start(options.modDir, options.modBinary, error, !presented);
    if (ok && presented) {
      PresentOptions present = options.present;
      present.restart = [&host](bool again) { return host.Restart(again); };
      ok = DrivePresented(host.Mod(), world, present, options.ticks, options.frameSeconds,
                          report.present, error);
    } else if (ok) {
      for (int i = 0; i < options.ticks; ++i) {
        world.Tick(options.frameSeconds);
        host.Update();
      }
    }
    if (host.Running() && options.shutdownObjectArray) world.Shutdown();
    host.Stop();
    report.lines = LogLines(world);
    report.faultsInjected = host.Seam().corruptObjectsHandedOut.load();
    report.faultsCaught = host.Seam().corruptObjectsTouched.load();
    report.frames = world.FrameCount();
    world.Shutdown();
  }
  return ok;
}

}  // namespace kvr::sim
