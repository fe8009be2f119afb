// The approach style table. Index order is fixed: the network's outputs, the per-thug style
// and the overlay all index it directly.
#include "aps/aps.h"

namespace kvr::aps {
namespace {

constexpr StyleInfo kStyles[kStyleCount] = {
    {"Direct", 0.0f, 0, 0xFFE0E0E0u},       {"Arc Left", 0.6f, 1, 0xFF40C0FFu},
    {"Arc Right", -0.6f, 1, 0xFF40FF80u},   {"Wide Left", 1.2f, 1, 0xFFFF8040u},
    {"Wide Right", -1.2f, 1, 0xFFFF40C0u},  {"Weave Left", 0.8f, 3, 0xFF40FFFFu},
    {"Weave Right", -0.8f, 3, 0xFFFFFF40u},
};

}  // namespace

const StyleInfo& Style(int index) {
  if (index < 0) index = 0;
  if (index >= kStyleCount) index = kStyleCount - 1;
  return kStyles[index];
}

}  // namespace kvr::aps
