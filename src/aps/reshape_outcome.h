// What became of one path query of a tracked thug, in the order the path-query replacement
// checks them. The menu prints one counter per outcome under its label.
#pragma once
#include <cstdint>

namespace kvr::aps {

enum class ReshapeOutcome : int32_t {
  kThugRequest = 0,   // counted before all others
  kPartial = 1,       // engine path marked partial: kept
  kStickyReplan = 2,  // style kept by the sticky rule (counted besides the final outcome)
  kDirect = 3,        // reshaping off or "Direct" chosen: kept
  kTooShort = 4,      // trip shorter than MinArcDistance: kept
  kBudget = 5,        // per-frame reshape budget spent: kept
  kNoValidArc = 6,    // builder failed or write-back failed: kept
  kReshaped = 7,      // reshaped route written into the engine's path
};
inline constexpr int kReshapeOutcomeCount = 8;

// The menu label of an outcome (some start with two spaces); "" for a value out of range.
const char* ReshapeOutcomeLabel(ReshapeOutcome outcome);

}  // namespace kvr::aps
