// kvr-sim soak --mod-dir DIR [--hours H] [--thugs N] [--seed S] [--level FILE|default]
//               [--workers N] [--nav-cache DIR]
#include <iostream>

#include "commands.h"
#include "sim/arena/soak.h"

namespace kvr::sim::cli {

void AddSoakCommand(CLI::App& app) {
  auto options = std::make_shared<SoakOptions>();
  options->play.thugs = 32;
  CLI::App* soak = app.add_subcommand(
      "soak",
      "The living arena for simulated hours with the mod: churn, autosave, the master switch "
      "flipped every 10 simulated minutes and a hot reload every hour; fails when memory, "
      "handles, threads, the brain file or the log grow without bound, or episodes go uncounted");
  soak->add_option("--mod-dir", options->play.modDir,
                   "The mod folder (config.ini gets VerboseLog = 1; brain.kvrb is saved there)")
      ->required();
  soak->add_option("--hours", options->hours, "Simulated hours")
      ->check(CLI::Range(1.0, 24.0 * 30))
      ->capture_default_str();
  soak->add_option("--thugs", options->play.thugs, "Thugs in the arena")
      ->check(CLI::Range(0, kMaxArenaThugs))
      ->capture_default_str();
  soak->add_option("--seed", options->play.seed, "Seed of the arena's random events")
      ->capture_default_str();
  soak->add_option("--level", options->play.level, "Level JSON file or \"default\"")
      ->capture_default_str();
  soak->add_option("--workers", options->play.pathWorkers,
                   "Engine threads planning paths beside the game thread")
      ->check(CLI::Range(0, 16))
      ->capture_default_str();
  soak->add_option("--nav-cache", options->play.navCacheDir,
                   "Folder for cached navmesh builds (\"none\" builds every time)");
  soak->callback([options] {
    SoakReport report;
    std::string error;
    if (!RunSoak(*options, report, error)) {
      std::cout << SoakSummary(report);
      std::cerr << "kvr-sim soak: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
    std::cout << SoakSummary(report) << std::flush;
    if (!report.failures.empty()) throw CLI::RuntimeError(1);
  });
}

}  // namespace kvr::sim::cli
