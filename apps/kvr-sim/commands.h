// kvr-sim subcommands. Each lives in its own file and registers itself on the app with an
// Add...Command function called from main.cpp.
//
// A subcommand that fails prints one line to stderr and throws CLI::RuntimeError(status);
// main turns that into the process exit status (2 for bad input).
#pragma once
#include <CLI/CLI.hpp>

namespace kvr::sim {
struct PlayOptions;
struct PresentOptions;
struct PresentReport;
}  // namespace kvr::sim

namespace kvr::sim::cli {

inline constexpr int kExitBadInput = 2;

// `kvr-sim route`: the engine route and a style's reshaped route on a level.
void AddRouteCommand(CLI::App& app);

// `kvr-sim boot`: the mod module loaded as the mod host loads it, ticked, uninstalled.
void AddBootCommand(CLI::App& app);

// `kvr-sim play`: a match in the living arena, the mod loaded as the mod host loads it.
void AddPlayCommand(CLI::App& app);

// `kvr-sim match`: play under a style policy with progress, summary table and report folder.
void AddMatchCommand(CLI::App& app);

// `kvr-sim study`: matches under every policy over several seeds, in parallel processes.
void AddStudyCommand(CLI::App& app);

// `kvr-sim soak`: simulated hours of the living arena with hot reloads, judged for leaks.
void AddSoakCommand(CLI::App& app);

// `kvr-sim tune`: the settings profile that minimises the learned policy's largest regret.
void AddTuneCommand(CLI::App& app);

// --level, --rules, --thugs, --minutes, --seed, --mod-binary, --nav-cache, --workers,
// --no-engine-allocator.
void AddArenaOptions(CLI::App* command, PlayOptions& options);

// --window, --width, --height, --script; and the step lines and frame count of a presented run.
void AddPresentOptions(CLI::App* command, PresentOptions& options);
void PrintPresented(const PresentReport& report);

}  // namespace kvr::sim::cli
