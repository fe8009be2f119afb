// The stand-in mod host: loads the real mod module the way the mod host does and drives it
// with the simulated engine. The module is laid out as <mod dir>/dlls/main.dll (the Linux build
// of the mod is copied under the same name), so config.ini and brain.kvrb live in <mod dir>.
//
// The mod reaches its host by looking up "kvr_host_interface" in the program that loaded it;
// the program that links this file exports that function.
#pragma once
#include <string>
#include <vector>

#include "sim/present_window.h"

namespace kvr::sim {

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
  int faultsInjected = 0;
  unsigned long long frames = 0;
  PresentReport present;
};

// The mod module's file name next to this program ("main.dll" on Windows, "libkvr_mod.so"
// elsewhere).
std::string DefaultModBinary();

// False (error set) when the module cannot be installed or loaded or lacks its entry points.
bool RunBoot(const BootOptions& options, BootReport& report, std::string& error);

}  // namespace kvr::sim
