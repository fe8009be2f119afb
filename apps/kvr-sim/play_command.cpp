// kvr-sim play --level FILE|default --thugs N --minutes M --seed S [--mod-dir DIR] [--workers N]
//              [--no-engine-allocator] [--window [--width W] [--height H] [--script STEPS]]
#include <iostream>

#include "commands.h"
#include "sim/arena/play.h"
#include "sim/arena/play_window.h"

namespace kvr::sim::cli {

void AddPlayCommand(CLI::App& app) {
  auto options = std::make_shared<PlayOptions>();
  auto allLines = std::make_shared<bool>(false);
  auto present = std::make_shared<PresentOptions>();
  CLI::App* play = app.add_subcommand(
      "play",
      "A match in the living arena at simulated time, with the mod loaded as the mod host loads "
      "it; prints a summary (episode ends by reason, player chunks lost, thug deaths, mod log)");
  AddArenaOptions(play, *options);
  play->add_option("--mod-dir", options->modDir,
                   "The mod folder (DIR/dlls/main.dll is installed there; config.ini gets "
                   "VerboseLog = 1, brain.kvrb is kept); without it thugs walk the engine's "
                   "own routes");
  play->add_flag("--log", *allLines, "Print every line the mod logged");
  AddPresentOptions(play, *present);
  play->callback([options, allLines, present] {
    PlayReport report;
    std::string error;
    bool ok = true;
    if (present->window) {
      // On the window the route overlay is on and no engine threads plan (see play_window.h).
      options->pathWorkers = 0;
      PresentReport presented;
      ok = RunPlayPresented(*options, *present, report, presented, error);
      PrintPresented(presented);
      if (!ok && !report.modLines.empty()) std::cout << PlaySummary(*options, report, true);
    } else {
      ok = RunPlay(*options, report, error);
    }
    if (!ok) {
      std::cerr << "kvr-sim play: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
    std::cout << PlaySummary(*options, report, *allLines);
  });
}

}  // namespace kvr::sim::cli
