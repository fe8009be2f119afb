// The tools' answer to a first word that is no command of theirs: the word and the commands
// there are, rather than the parser's "arguments were not expected".
#pragma once
#include <CLI/CLI.hpp>
#include <string>

namespace kvr::cli {

// Empty when argv[1] is a command of app, an option or missing.
inline std::string UnknownCommand(CLI::App& app, int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return {};
  const std::string word = argv[1];
  std::string list;
  for (const CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    if (sub->check_name(word)) return {};
    list += (list.empty() ? "" : ", ") + sub->get_name();
  }
  return "unknown command \"" + word + "\" (the commands are " + list + ")";
}

}  // namespace kvr::cli
