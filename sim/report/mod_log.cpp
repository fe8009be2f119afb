#include "sim/report/mod_log.h"

#include <cstdio>

#include "aps/aps.h"

namespace kvr::sim::report {

namespace {

constexpr std::string_view kPrefix = "[KorvathNeuralNav] ";

// Splits text at the first `marker`: head before it, rest after it. False when absent.
bool SplitAt(std::string_view text, std::string_view marker, std::string_view& head,
             std::string_view& rest) {
  const size_t at = text.find(marker);
  if (at == std::string_view::npos) return false;
  head = text.substr(0, at);
  rest = text.substr(at + marker.size());
  return true;
}

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

}  // namespace

std::string_view StripLogPrefix(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (StartsWith(line, kPrefix)) line.remove_prefix(kPrefix.size());
  return line;
}

int StyleIndexByName(std::string_view name) {
  for (int i = 0; i < aps::kStyleCount; ++i)
    if (name == aps::Style(i).name) return i;
  return -1;
}

bool ParseEpisodeLine(std::string_view line, EpisodeLine& out) {
  line = StripLogPrefix(line);
  if (!StartsWith(line, "episode ")) return false;
  line.remove_prefix(8);
  std::string_view reason, pawn, style, rest;
  if (!SplitAt(line, ": ", reason, rest) || !SplitAt(rest, " style=", pawn, rest) ||
      !SplitAt(rest, " progress=", style, rest))
    return false;
  EpisodeLine e;
  e.reason = reason;
  e.pawnClass = pawn;
  e.style = StyleIndexByName(style);
  const std::string numbers(rest);
  int used = 0;
  const int n =
      std::sscanf(numbers.c_str(), "%f dmg=%f hits=%f spacing=%f -> reward %f (loss %f)%n",
                  &e.progress, &e.damage, &e.hits, &e.spacing, &e.reward, &e.loss, &used);
  if (n != 6 || e.style < 0 || static_cast<size_t>(used) != numbers.size()) return false;
  out = std::move(e);
  return true;
}

bool ParseReshapeLine(std::string_view line, ReshapeLine& out) {
  line = StripLogPrefix(line);
  if (!StartsWith(line, "reshaped ")) return false;
  line.remove_prefix(9);
  std::string_view pawn, style, rest;
  if (!SplitAt(line, ": ", pawn, rest) || !SplitAt(rest, ", ", style, rest)) return false;
  ReshapeLine r;
  r.pawnClass = pawn;
  r.style = StyleIndexByName(style);
  const std::string numbers(rest);
  int used = 0;
  int n = std::sscanf(numbers.c_str(),
                      "%d -> %d points, %f -> %f cm, %d queries, %d from memory, %f ms%n",
                      &r.enginePoints, &r.newPoints, &r.engineCm, &r.newCm, &r.queries,
                      &r.fromMemory, &r.ms, &used);
  if (n != 7 || static_cast<size_t>(used) != numbers.size()) {
    r.fromMemory = 0;
    used = 0;
    n = 1 + std::sscanf(numbers.c_str(), "%d -> %d points, %f -> %f cm, %d queries, %f ms%n",
                        &r.enginePoints, &r.newPoints, &r.engineCm, &r.newCm, &r.queries, &r.ms,
                        &used);
  }
  if (n != 7 || r.style < 0 || static_cast<size_t>(used) != numbers.size()) return false;
  if (r.fromMemory < 0 || r.fromMemory > r.queries) return false;
  out = std::move(r);
  return true;
}

bool ParseCostLine(std::string_view line, CostLine& out) {
  line = StripLogPrefix(line);
  constexpr std::string_view kStart = "cost per frame since start: game thread ";
  if (!StartsWith(line, kStart)) return false;
  line.remove_prefix(kStart.size());
  const std::string numbers(line);
  CostLine c;
  unsigned long long frames = 0;
  int used = 0;
  const int n =
      std::sscanf(numbers.c_str(), "%lf us avg, %lf us p99, %lf us max over %llu frames%n",
                  &c.meanUs, &c.p99Us, &c.maxUs, &frames, &used);
  if (n != 4 || static_cast<size_t>(used) != numbers.size()) return false;
  if (!(c.meanUs >= 0.0 && c.p99Us >= 0.0 && c.maxUs >= c.p99Us)) return false;
  c.frames = frames;
  out = c;
  return true;
}

}  // namespace kvr::sim::report
