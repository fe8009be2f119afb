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
