// kvr-sim: the simulated engine on the command line.
#include <CLI/CLI.hpp>
#include <iostream>

#include "apps/common/unknown_command.h"
#include "commands.h"
#include "version/version.h"

int main(int argc, char** argv) {
  CLI::App app{
      "kvr-sim: the simulated engine: levels, navigation, arc routes and the living arena"};
  app.require_subcommand(1);
  // On Windows the parser would take "/tmp/b.kvrb" or "/home/..." (what Wine passes for a Unix
  // path) for a "/option"; the tools have no such options, so paths starting with "/" stay
  // paths. Set before the commands are added: they inherit it.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", kvr::ToolVersionLine("kvr-sim"));
  kvr::sim::cli::AddRouteCommand(app);
  kvr::sim::cli::AddBootCommand(app);
  kvr::sim::cli::AddPlayCommand(app);
  kvr::sim::cli::AddMatchCommand(app);
  kvr::sim::cli::AddStudyCommand(app);
  kvr::sim::cli::AddSoakCommand(app);
  kvr::sim::cli::AddTuneCommand(app);
  if (const std::string unknown = kvr::cli::UnknownCommand(app, argc, argv); !unknown.empty()) {
    std::cerr << "kvr-sim: " << unknown << "\n";
    return kvr::sim::cli::kExitBadInput;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::RuntimeError& e) {  // a subcommand's own failure, already reported
    return e.get_exit_code();
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help
    std::cerr << "kvr-sim: " << e.what() << "\n";
    return kvr::sim::cli::kExitBadInput;
  }
  return 0;
}
