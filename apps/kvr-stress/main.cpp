// kvr-stress: every thread of the game at once on the mod, for a while, then checks of what
// happened. Exit 0 when every check passed, 1 when one failed, 2 when the run could not start.
// Built with ThreadSanitizer by scripts/stress.sh, which makes any race report fail the run.
#include <CLI/CLI.hpp>
#include <iostream>

#include "stress.h"
#include "version/version.h"

int main(int argc, char** argv) {
  kvr::stress::StressOptions o;
  CLI::App app{"kvr-stress: the mod under every thread the game has, then checks"};
  app.set_version_flag("--version", kvr::ToolVersionLine("kvr-stress"));
  app.add_option("--seconds", o.seconds, "Wall-clock seconds under load")->capture_default_str();
  app.add_option("--thugs", o.thugs, "Thugs in the arena")->capture_default_str();
  app.add_option("--seed", o.seed, "The arena's and the churn's random seed")
      ->capture_default_str();
  app.add_option("--level", o.level, "A level file, \"default\" or a shipped level's name")
      ->capture_default_str();
  app.add_option("--mod-dir", o.modDir,
                 "The mod folder for config.ini and brain.kvrb (default: a temporary one)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  kvr::stress::StressReport report;
  std::string error;
  if (!kvr::stress::RunStress(o, report, error)) {
    std::cerr << "kvr-stress: " << error << "\n";
    return 2;
  }
  std::cout << kvr::stress::StressSummary(o, report) << std::flush;
  return report.failures.empty() ? 0 : 1;
}
