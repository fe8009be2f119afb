// kvr-sim play --level FILE|default --thugs N --minutes M --seed S [--mod-dir DIR]
#include <iostream>

#include "commands.h"
#include "sim/arena/play.h"

namespace kvr::sim::cli {

void AddPlayCommand(CLI::App& app) {
  auto options = std::make_shared<PlayOptions>();
  auto allLines = std::make_shared<bool>(false);
  CLI::App* play = app.add_subcommand(
      "play",
      "A match in the living arena at simulated time, with the mod loaded as the mod host loads "
      "it; prints a summary (episode ends by reason, player chunks lost, thug deaths, mod log)");
  play->add_option("--level", options->level,
                   "Level JSON file with a player start and spawn points, \"default\" for the "
                   "arena, or a shipped level's name (\"large\")")
      ->capture_default_str();
  play->add_option("--rules", options->rules,
                   "Rules JSON file (default: <level>.rules.json beside the level, else the "
                   "arena's rules)");
  play->add_option("--thugs", options->thugs, "Thugs in the arena")
      ->check(CLI::Range(0, kMaxArenaThugs))
      ->capture_default_str();
  play->add_option("--minutes", options->minutes, "Simulated minutes to play")
      ->check(CLI::Range(0.001, 1440.0))
      ->capture_default_str();
  play->add_option("--seed", options->seed, "Seed of the arena's random events")
      ->capture_default_str();
  play->add_option("--mod-dir", options->modDir,
                   "The mod folder (DIR/dlls/main.dll is installed there; config.ini gets "
                   "VerboseLog = 1, brain.kvrb is kept); without it thugs walk the engine's "
                   "own routes");
  play->add_option("--mod-binary", options->modBinary,
                   "The mod module to install (default: the one next to kvr-sim)");
  play->add_option("--nav-cache", options->navCacheDir,
                   "Folder for cached navmesh builds (default: the system's temp folder; "
                   "\"none\" builds every time)");
  play->add_flag("--log", *allLines, "Print every line the mod logged");
  play->callback([options, allLines] {
    PlayReport report;
    std::string error;
    if (!RunPlay(*options, report, error)) {
      std::cerr << "kvr-sim play: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
    std::cout << PlaySummary(*options, report, *allLines);
  });
}

}  // namespace kvr::sim::cli
