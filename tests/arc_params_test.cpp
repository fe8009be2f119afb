// The builder's parameters for a reshape: the agent radius taken from the engine's agent record
// only when it is a plausible size, and the arc strength clamped at the largest strength scale.
#include <gtest/gtest.h>

#include "game/path_reshape.h"
#include "nav/engine_records.h"
#include "sim/path_records.h"

namespace kvr {
namespace {

float RadiusFor(float agentRadius) {
  sim::AgentProperties agent;
  agent.agentRadius = agentRadius;
  return game::MakeArcParams(Settings{}, 3, &agent).agentRadius;
}

TEST(ArcParams, AgentRadiusOutsideOneToAThousandFallsBackTo34) {
  EXPECT_FLOAT_EQ(RadiusFor(0.5f), 34.0f);
  EXPECT_FLOAT_EQ(RadiusFor(1.0f), 34.0f);
  EXPECT_FLOAT_EQ(RadiusFor(1000.0f), 34.0f);
  EXPECT_FLOAT_EQ(RadiusFor(-40.0f), 34.0f);
  EXPECT_FLOAT_EQ(RadiusFor(1.5f), 1.5f);
  EXPECT_FLOAT_EQ(RadiusFor(999.0f), 999.0f);
  EXPECT_FLOAT_EQ(RadiusFor(42.0f), 42.0f);
  EXPECT_FLOAT_EQ(game::MakeArcParams(Settings{}, 3, nullptr).agentRadius, 34.0f);
}

TEST(ArcParams, StrengthIsClampedAtTheLargestScale) {
  Settings s;
  s.ArcStrengthScale = 3.0f;  // the largest the settings allow
  // Wide styles (1.2) would reach 3.6; weaves (0.8) and plain arcs (0.6) stay inside.
  EXPECT_FLOAT_EQ(game::MakeArcParams(s, 3, nullptr).strength, 3.0f);
  EXPECT_FLOAT_EQ(game::MakeArcParams(s, 4, nullptr).strength, -3.0f);
  EXPECT_FLOAT_EQ(game::MakeArcParams(s, 5, nullptr).strength, 0.8f * 3.0f);
  EXPECT_FLOAT_EQ(game::MakeArcParams(s, 2, nullptr).strength, -0.6f * 3.0f);
  EXPECT_EQ(game::MakeArcParams(s, 5, nullptr).humps, 3);
  s.ArcStrengthScale = 1.0f;
  EXPECT_FLOAT_EQ(game::MakeArcParams(s, 3, nullptr).strength, 1.2f);
}

}  // namespace
}  // namespace kvr
