// Reading the mod's own log lines back: the verbose per-episode and per-reshape lines that the
// mod writes when VerboseLog is 1, with or without the log prefix. A match learns what the mod
// decided only from these lines (and from the files it writes), as a player reading the log
// would.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kvr::sim::report {

// "episode <reason>: <pawn class> style=<style> progress=.. dmg=.. hits=.. spacing=.. -> reward
// .. (loss ..)"
struct EpisodeLine {
  std::string reason;
  std::string pawnClass;
  int style = -1;  // index into the approach styles
  float progress = 0.0f, damage = 0.0f, hits = 0.0f, spacing = 0.0f;
  float reward = 0.0f, loss = 0.0f;
};

// "reshaped <pawn class>: <style>, <n> -> <m> points, <a> -> <b> cm, <q> queries, <r> from
// memory, <t> ms"; logs of mods without the memo lack the "from memory" part (r = 0).
struct ReshapeLine {
  std::string pawnClass;
  int style = -1;
  int enginePoints = 0, newPoints = 0;
  float engineCm = 0.0f, newCm = 0.0f;
  int queries = 0;     // asked by the builder
  int fromMemory = 0;  // of those, answered without the engine
  float ms = 0.0f;
};

// "cost per frame since start: game thread <m> us avg, <p> us p99, <x> us max over <n> frames":
// the mod's own measurement of its game-thread time (real time, not the simulated clock).
struct CostLine {
  double meanUs = 0.0, p99Us = 0.0, maxUs = 0.0;
  uint64_t frames = 0;
};

// False for any other line, or a line of the right kind whose fields do not all parse.
bool ParseEpisodeLine(std::string_view line, EpisodeLine& out);
bool ParseReshapeLine(std::string_view line, ReshapeLine& out);
bool ParseCostLine(std::string_view line, CostLine& out);

// The style index of a display name ("Arc Left"), -1 when none matches.
int StyleIndexByName(std::string_view name);

// The line without the mod's "[KorvathNeuralNav] " prefix and without a trailing line end.
std::string_view StripLogPrefix(std::string_view line);

}  // namespace kvr::sim::report
