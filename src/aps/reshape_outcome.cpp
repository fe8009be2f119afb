#include "aps/reshape_outcome.h"

namespace kvr::aps {

const char* ReshapeOutcomeLabel(ReshapeOutcome outcome) {
  static constexpr const char* kLabels[kReshapeOutcomeCount] = {
      "Thug path requests",
      "  kept: partial (blocked) path",
      "Re-plans that kept their style",
      "  kept: Direct style chosen",
      "  kept: too short for an arc",
      "  kept: frame budget reached",
      "  kept: no valid arc on this navmesh",
      "  reshaped into APS arcs",
  };
  const int index = static_cast<int>(outcome);
  if (index < 0 || index >= kReshapeOutcomeCount) return "";
  return kLabels[index];
}

}  // namespace kvr::aps
