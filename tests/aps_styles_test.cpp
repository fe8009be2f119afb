// The style table as the network, the menu and the overlay index it, and the outcome labels.
#include <gtest/gtest.h>

#include <cstring>

#include "aps/aps.h"
#include "aps/reshape_outcome.h"

namespace kvr::aps {
namespace {

TEST(Styles, IndexIsClampedAndLeftRightPairsMirror) {
  EXPECT_EQ(&Style(-1), &Style(kDirect));
  EXPECT_EQ(&Style(7), &Style(kWeaveRight));
  EXPECT_EQ(&Style(1 << 30), &Style(kWeaveRight));
  EXPECT_STREQ(Style(kDirect).name, "Direct");
  EXPECT_EQ(Style(kDirect).strength, 0.0f);
  for (int left : {kArcLeft, kWideLeft, kWeaveLeft}) {
    EXPECT_GT(Style(left).strength, 0.0f);  // positive bends left
    EXPECT_EQ(Style(left + 1).strength, -Style(left).strength);
    EXPECT_EQ(Style(left + 1).humps, Style(left).humps);
  }
  EXPECT_EQ(Style(kWeaveLeft).humps, 3);
  for (int i = 0; i < kStyleCount; ++i) EXPECT_EQ(Style(i).colour >> 24, 0xFFu) << i;  // opaque
}

TEST(Styles, EveryRowOfTheTable) {
  // Index, display name, arc strength, humps and overlay colour as (R, G, B, A).
  struct Row {
    const char* name;
    float strength;
    int32_t humps;
    uint8_t r, g, b, a;
  };
  const Row rows[kStyleCount] = {
      {"Direct", 0.0f, 0, 224, 224, 224, 255},      {"Arc Left", 0.6f, 1, 64, 192, 255, 255},
      {"Arc Right", -0.6f, 1, 64, 255, 128, 255},   {"Wide Left", 1.2f, 1, 255, 128, 64, 255},
      {"Wide Right", -1.2f, 1, 255, 64, 192, 255},  {"Weave Left", 0.8f, 3, 64, 255, 255, 255},
      {"Weave Right", -0.8f, 3, 255, 255, 64, 255},
  };
  for (int i = 0; i < kStyleCount; ++i) {
    const StyleInfo& s = Style(i);
    EXPECT_STREQ(s.name, rows[i].name) << i;
    EXPECT_EQ(s.strength, rows[i].strength) << i;
    EXPECT_EQ(s.humps, rows[i].humps) << i;
    // Packed 0xAARRGGBB: alpha high, then red, green, blue.
    const uint32_t packed = uint32_t{rows[i].a} << 24 | uint32_t{rows[i].r} << 16 |
                            uint32_t{rows[i].g} << 8 | uint32_t{rows[i].b};
    EXPECT_EQ(s.colour, packed) << i;
  }
  const uint32_t stored[kStyleCount] = {0xFFE0E0E0u, 0xFF40C0FFu, 0xFF40FF80u, 0xFFFF8040u,
                                        0xFFFF40C0u, 0xFF40FFFFu, 0xFFFFFF40u};
  for (int i = 0; i < kStyleCount; ++i) EXPECT_EQ(Style(i).colour, stored[i]) << i;
}

TEST(ReshapeOutcomes, LabelsInOrderAndNeverNull) {
  EXPECT_STREQ(ReshapeOutcomeLabel(ReshapeOutcome::kThugRequest), "Thug path requests");
  EXPECT_STREQ(ReshapeOutcomeLabel(ReshapeOutcome::kNoValidArc),
               "  kept: no valid arc on this navmesh");
  EXPECT_STREQ(ReshapeOutcomeLabel(ReshapeOutcome::kReshaped), "  reshaped into APS arcs");
  for (int i = 0; i < kReshapeOutcomeCount; ++i) {
    const char* label = ReshapeOutcomeLabel(static_cast<ReshapeOutcome>(i));
    EXPECT_GT(std::strlen(label), 10u);
    EXPECT_LE(std::strlen(label), 38u);  // fits the menu's %-38s column
  }
  EXPECT_STREQ(ReshapeOutcomeLabel(static_cast<ReshapeOutcome>(-1)), "");
  EXPECT_STREQ(ReshapeOutcomeLabel(static_cast<ReshapeOutcome>(kReshapeOutcomeCount)), "");
}

}  // namespace
}  // namespace kvr::aps
