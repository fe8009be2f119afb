// A line-by-line review of a config.ini for people editing it by hand.
//
// The mod's reader is forgiving by design: it skips what it cannot use and falls back to
// defaults, so a game always starts. That same forgiveness hides a typo for hours. This review
// names every line the reader skips or does not take as written, with its line number.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kvr {

struct ConfigProblem {
  enum class Severity : uint8_t { kWarning, kError };
  int line = 0;  // 1-based
  Severity severity = Severity::kError;
  std::string message;
};

// Errors: the file says something the mod skips or cannot read as written. Warnings: the mod
// reads the line, but not quite as written (clamped, rounded, repeated) or it may clash with
// another program. In line order.
std::vector<ConfigProblem> CheckConfigIniText(std::string_view text);

}  // namespace kvr
