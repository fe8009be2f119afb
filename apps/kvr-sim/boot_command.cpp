// `kvr-sim boot`: the mod loaded as the mod host loads it, on an empty simulated level.
#include <iostream>

#include "commands.h"
#include "sim/standin_host.h"

namespace kvr::sim::cli {

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
  boot->add_flag("--window", options->present.window,
                 "Windows: present the game on a real window and Direct3D 11 swap chain");
  boot->add_option("--width", options->present.width, "Window width (default 1280)");
  boot->add_option("--height", options->present.height, "Window height (default 720)");
  boot->add_option("--script", options->present.script,
                   "With --window: steps separated by ';': wait N, key NAME, click X Y, "
                   "resize W H, shot PATH, faults N");
  boot->callback([options] {
    BootReport report;
    std::string error;
    const bool ok = RunBoot(*options, report, error);
    for (const std::string& line : report.lines) std::cout << line << "\n";
    if (options->present.window) {
      const PresentReport& p = report.present;
      for (const std::string& step : p.steps) std::cout << "step: " << step << "\n";
      std::cout << "presented " << p.frames << " frames; the game saw " << p.keyMessagesSeen
                << " key and " << p.clickMessagesSeen << " click messages; " << p.faultsRaised
                << " injected faults fired\n";
    }
    if (!ok) {
      std::cerr << "kvr-sim boot: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
  });
}

}  // namespace kvr::sim::cli
