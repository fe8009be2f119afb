// `kvr-sim boot`: the mod loaded as the mod host loads it, on an empty simulated level.
#include <iostream>

#include "commands.h"
#include "sim/standin_host.h"

namespace kvr::sim::cli {

namespace {

// Said every time, none asked for included: a run that reports nothing about its faults cannot
// be told from one whose faults went unnoticed.
void PrintFaults(int askedFor, const BootReport& report) {
  std::cout << "faults: " << askedFor << " asked for, " << report.faultsInjected << " injected, "
            << report.faultsCaught << " caught by the mod";
  if (report.faultsInjected < askedFor)
    std::cout << " (the mod looked up no more objects after " << report.faultsInjected << ")";
  std::cout << "\n";
}

}  // namespace

void AddBootCommand(CLI::App& app) {
  auto options = std::make_shared<BootOptions>();
  CLI::App* boot = app.add_subcommand(
      "boot",
      "Load the mod from DIR/dlls/main.dll as the mod host would, tick, uninstall; print the log");
  boot->add_option("--mod-dir", options->modDir,
                   "The mod folder (config.ini and brain.kvrb live here)")
      ->required();
  boot->add_option("--ticks", options->ticks, "Frames to run (default 10)")
      ->check(CLI::NonNegativeNumber);
  boot->add_option("--frame-seconds", options->frameSeconds,
                   "Simulated seconds per frame (default 1/60)")
      ->check(CLI::PositiveNumber);
  boot->add_option("--inject-faults", options->injectFaults,
                   "Answer this many engine look-ups with a corrupt object (each faults inside the "
                   "mod's update)")
      ->check(CLI::NonNegativeNumber);
  boot->add_option("--mod-binary", options->modBinary,
                   "The mod module to install (default: the one next to kvr-sim)");
  boot->add_flag("--game-exit", options->shutdownObjectArray,
                 "End with the engine's object-array shutdown before the mod is uninstalled");
  AddPresentOptions(boot, options->present);
  boot->callback([options] {
    BootReport report;
    std::string error;
    const bool ok = RunBoot(*options, report, error);
    for (const std::string& line : report.lines) std::cout << line << "\n";
    PrintFaults(options->injectFaults, report);
    if (options->present.window)
      PrintPresented(report.present);
    else
      std::cout << "no window to draw on: the overlay stays off\n";
    if (!ok) {
      std::cerr << "kvr-sim boot: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
  });
}

}  // namespace kvr::sim::cli
