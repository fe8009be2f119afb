// kvr-sim: the simulated engine on the command line.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"

int main(int argc, char** argv) {
  CLI::App app{
      "kvr-sim: the simulated engine: levels, navigation, arc routes and the living arena"};
  app.require_subcommand(1);
  kvr::sim::cli::AddRouteCommand(app);
  kvr::sim::cli::AddBootCommand(app);
  kvr::sim::cli::AddPlayCommand(app);
  kvr::sim::cli::AddMatchCommand(app);
  kvr::sim::cli::AddStudyCommand(app);
  kvr::sim::cli::AddTuneCommand(app);
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
