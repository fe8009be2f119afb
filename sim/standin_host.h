// The stand-in mod host: loads the real mod module the way the mod host does and drives it
// with the simulated engine. The module is laid out as <mod dir>/dlls/main.dll (the Linux build
// of the mod is copied under the same name), so config.ini and brain.kvrb live in <mod dir>.
//
// The mod reaches its host by looking up "kvr_host_interface" in the program that loaded it;
// the program that links this file exports that function.
#pragma once
#include <string>
#include <vector>

#include "sim/forwarding_host.h"
#include "sim/present_window.h"
#include "sim/world.h"

namespace kvr::mod {
class CppUserModBase;
}

namespace kvr::sim {

// The mod module in a world, as the mod host runs it: installed as <mod dir>/dlls/main.dll,
// loaded, `start_mod`, `on_unreal_init`; Stop calls `uninstall_mod`. The mod sees the world
// through a ForwardingHost that offers the simulated clock. One at a time per process (the mod
// finds its host through one exported function).
class StandInHost {
 public:
  explicit StandInHost(World& world);
  // Stops a mod still running. The module stays loaded: its pre-callback may still sit in
  // engine structures, and unloading code that a host still points at is how hosts crash.
  ~StandInHost();
  StandInHost(const StandInHost&) = delete;
  StandInHost& operator=(const StandInHost&) = delete;

  ForwardingHost& Seam() { return host_; }
  // modBinary empty = the module next to this program. False with a reason when the module
  // cannot be installed or loaded or lacks its entry points. Without `initialize` the host's
  // first update and on_unreal_init are left to the caller (a presenting window makes them).
  bool Start(const std::string& modDir, const std::string& modBinary, std::string& error,
             bool initialize = true);
  // The mod's code linked into this program instead of loaded from its module: the same object
  // and start-up (the host's first update, then what on_unreal_init does, with `modDir` as the
  // mod's folder), sharing this program's copy of the mod's state, so the program can draw the
  // mod's own menu and routes (kvr-viewer). The program needs no exported host interface.
  bool StartLinked(const std::string& modDir, std::string& error);
  mod::CppUserModBase* Mod() const { return mod_; }
  // The host's own update, which it makes once per pass of its loop (after every frame here).
  void Update();
  void Stop();
  // What the mod host's reload does: `uninstall_mod`, then (with `startAgain`) `start_mod` of
  // the same module again. Returns the new mod object (not yet initialised), or null.
  mod::CppUserModBase* Restart(bool startAgain);
  bool Running() const { return mod_ != nullptr; }

 private:
  ForwardingHost host_;
  mod::CppUserModBase* mod_ = nullptr;
  mod::CppUserModBase* (*start_)() = nullptr;
  void (*uninstall_)(mod::CppUserModBase*) = nullptr;
};

// Every line the host's log device received from index `first` on, UTF-8, without line ends.
std::vector<std::string> LogLines(World& world, size_t first = 0);

struct BootOptions {
  std::string modDir;     // UTF-8; created when missing
  std::string modBinary;  // the mod module to install; empty = the one next to this program
  int ticks = 10;         // frames to run between start-up and uninstall
  double frameSeconds = 1.0 / 60.0;
  int injectFaults = 0;              // engine look-ups answered with a corrupt object
  bool shutdownObjectArray = false;  // end with the engine's object-array shutdown first
  PresentOptions present;            // a real window and swap chain (Windows)
};

struct BootReport {
  std::vector<std::string> lines;  // every line the mod wrote, with prefix, without line end
  int faultsInjected = 0;          // corrupt objects handed to the mod
  int faultsCaught = 0;  // of those, the ones whose fault fired (the host ran on after each)
  unsigned long long frames = 0;
  PresentReport present;
};

// The mod module's file name next to this program ("main.dll" on Windows, "libkvr_mod.so"
// elsewhere).
std::string DefaultModBinary();

// False (error set) when the module cannot be installed or loaded or lacks its entry points.
bool RunBoot(const BootOptions& options, BootReport& report, std::string& error);

}  // namespace kvr::sim
