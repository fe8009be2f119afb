// The release every program of the project belongs to; the tools print it for --version so a
// report can say which build made it.
#pragma once
#include <string>

namespace kvr {

inline constexpr const char* kModName = "KorvathPalimarNeuralNav";
inline constexpr const char* kModVersion = "1.0.1";

// "<tool> 1.0.1 (KorvathPalimarNeuralNav)"
inline std::string ToolVersionLine(const char* tool) {
  return std::string(tool) + " " + kModVersion + " (" + kModName + ")";
}

}  // namespace kvr
