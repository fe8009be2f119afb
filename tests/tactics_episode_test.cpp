// Observations, the emptier-side rule, the sticky re-plan test and episode rewards, from plain
// values.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tactics/observation.h"

namespace kvr::tactics {
namespace {

ObservationInputs Trip(float length) {
  ObservationInputs in;
  in.start = {0.0f, 0.0f, 0.0f};
  in.goal = {length, 0.0f, 0.0f};
  in.routeLength = length;
  in.health = 80.0f;
  in.maxHealth = 100.0f;
  return in;
}

TEST(Observation, NeutralValuesWithoutAPlayerOrProperties) {
  const Observation o = BuildObservation(Trip(1250.0f));
  EXPECT_FLOAT_EQ(o[0], 0.5f);
  EXPECT_EQ(o[1], 0.0f);
  EXPECT_EQ(o[2], 0.0f);
  EXPECT_EQ(o[3], 1.5f);
  EXPECT_EQ(o[4], 0.0f);
  EXPECT_EQ(o[5], 0.0f);
  EXPECT_EQ(o[6], 0.0f);
  EXPECT_FLOAT_EQ(o[7], 0.8f);
  EXPECT_EQ(o[8], 0.0f);
  EXPECT_EQ(o[9], 0.0f);
  EXPECT_EQ(o[10], 0.0f);
  EXPECT_EQ(o[11], 0.0f);
  EXPECT_STREQ(ObservationLabel(3), "Goal-to-player distance");
  EXPECT_STREQ(ObservationLabel(12), "");
}

TEST(Observation, TripAndDetourAreCapped) {
  ObservationInputs in = Trip(10000.0f);
  in.routeLength = 40000.0f;  // r = 3, capped at 2
  Observation o = BuildObservation(in);
  EXPECT_EQ(o[0], 1.5f);
  EXPECT_EQ(o[1], 1.0f);
  in.routeLength = 15000.0f;  // r = 0.5
  EXPECT_FLOAT_EQ(BuildObservation(in)[1], 0.25f);
  in.routeLength = 5000.0f;  // shorter than the straight line
  EXPECT_EQ(BuildObservation(in)[1], 0.0f);
  // A zero-length trip measures the route against 1 cm.
  ObservationInputs zero = Trip(0.0f);
  zero.routeLength = 1.5f;
  EXPECT_FLOAT_EQ(BuildObservation(zero)[1], 0.25f);
}

TEST(Observation, PlayerInputs) {
  ObservationInputs in = Trip(1000.0f);
  in.hasPlayer = true;
  in.player = {0.0f, 3000.0f, 0.0f};  // straight to the side of the trip
  in.playerYawDegrees = -90.0f;      // looking from the player towards the start
  in.playerSpeed = 900.0f;
  const Observation o = BuildObservation(in);
  EXPECT_NEAR(o[2], 0.0f, 1e-6f);
  EXPECT_EQ(o[3], 1.5f);  // sqrt(1000^2 + 3000^2) / 1500 capped
  EXPECT_NEAR(o[4], 1.0f, 1e-6f);
  EXPECT_EQ(o[10], 1.5f);
  in.player = {500.0f, 0.0f, 0.0f};  // ahead on the trip, walking away
  in.playerYawDegrees = 0.0f;
  in.playerSpeed = 300.0f;
  const Observation p = BuildObservation(in);
  EXPECT_FLOAT_EQ(p[2], 1.0f);
  EXPECT_FLOAT_EQ(p[3], 500.0f / 1500.0f);
  EXPECT_FLOAT_EQ(p[4], -1.0f);
  EXPECT_FLOAT_EQ(p[10], 0.5f);
}

TEST(Observation, AlliesCountNearAndBalanceBySide) {
  ObservationInputs in = Trip(2000.0f);
  // Travelling along +x, the side vector (dy, -dx) is (0, -1): "left" is -y here.
  const std::vector<Vec3> others = {{100.0f, -200.0f, 0.0f},
                                    {0.0f, -800.0f, 0.0f},
                                    {1400.0f, 300.0f, 0.0f},
                                    {3000.0f, 0.0f, 0.0f}};
  in.others = others;
  const Observation o = BuildObservation(in);
  EXPECT_FLOAT_EQ(o[5], 2.0f / 6.0f);
  // Offsets: 0.5, 1 (clamped from 2), -0.75; the far one does not count.
  EXPECT_FLOAT_EQ(o[6], (0.5f + 1.0f - 0.75f) / 3.0f);
  std::vector<Vec3> crowd(9, Vec3{10.0f, -10.0f, 0.0f});
  in.others = crowd;
  EXPECT_EQ(BuildObservation(in)[5], 1.0f);
}

TEST(Observation, PawnPropertiesAreClamped) {
  ObservationInputs in = Trip(100.0f);
  in.health = 150.0f;
  in.weightClass = 6.0f;
  in.hasAggroToken = true;
  in.fear = 40.0f;
  in.fearThreshold = 20.0f;
  Observation o = BuildObservation(in);
  EXPECT_EQ(o[7], 1.0f);
  EXPECT_EQ(o[8], 1.0f);
  EXPECT_EQ(o[9], 1.0f);
  EXPECT_EQ(o[11], 1.5f);
  in.health = -5.0f;
  in.maxHealth = 0.0f;
  in.weightClass = 1.0f;
  in.fear = 0.5f;
  in.fearThreshold = 0.0f;  // measured against 1
  o = BuildObservation(in);
  EXPECT_EQ(o[7], 0.0f);
  EXPECT_FLOAT_EQ(o[8], 1.0f / 3.0f);
  EXPECT_FLOAT_EQ(o[11], 0.5f);
}

TEST(Observation, DirectionRules) {
  EXPECT_EQ(Direction2D({}, {1.0f, 0.0f, 5.0f}), (std::array<float, 2>{1.0f, 0.0f}));
  EXPECT_EQ(Direction2D({}, {0.00005f, 0.0f, 0.0f}), (std::array<float, 2>{0.0f, 0.0f}));
  const auto d = Direction2D({1.0f, 1.0f, 0.0f}, {4.0f, 5.0f, 0.0f});
  EXPECT_FLOAT_EQ(d[0], 0.6f);
  EXPECT_FLOAT_EQ(d[1], 0.8f);
  EXPECT_FLOAT_EQ(HorizontalDistance({0, 0, 100}, {3, 4, -50}), 5.0f);
}

TEST(EmptierSide, PicksTheSideWithFewerThugs) {
  EXPECT_EQ(EmptierSideStyle(0.1f, 4, 800.0f), aps::kArcLeft);
  EXPECT_EQ(EmptierSideStyle(0.1f, 5, 800.0f), aps::kArcRight);
  EXPECT_EQ(EmptierSideStyle(-0.5f, 5, 800.0f), aps::kArcLeft);
  EXPECT_EQ(EmptierSideStyle(0.5f, 4, 800.0f), aps::kArcRight);
  EXPECT_EQ(EmptierSideStyle(-0.5f, 5, 1600.0f), aps::kWideLeft);
  EXPECT_EQ(EmptierSideStyle(0.5f, 4, 1600.0f), aps::kWideRight);
  EXPECT_EQ(EmptierSideStyle(0.0f, 2, 1500.0f), aps::kArcLeft) << "1500 exactly is not over";
}

TEST(Sticky, KeepsTheStyleOnlyForCloseGoalsSoonAfterTheDecision) {
  const Settings s;  // 2.5 s, 200 cm
  const Vec3 last{0, 0, 0};
  EXPECT_TRUE(KeepsStyle(2, 10.0, last, {150, 0, 0}, 11.0, s));
  EXPECT_FALSE(KeepsStyle(2, 10.0, last, {0, 0, 0}, 13.0, s));
  EXPECT_FALSE(KeepsStyle(2, 10.0, last, {250, 0, 0}, 11.0, s));
  EXPECT_FALSE(KeepsStyle(-1, 10.0, last, {0, 0, 0}, 10.5, s));
  Settings off;
  off.StickySeconds = 0.0f;
  EXPECT_FALSE(KeepsStyle(2, 10.0, last, {0, 0, 0}, 10.0, off));
}

TEST(EpisodeReward, NeutralEpisodeScoresAQuarter) {
  EpisodeOutcome e;
  e.startDistance = e.currentDistance = 1000.0f;
  e.healthAtStart = e.currentHealth = 100.0f;
  e.maxHealthAtStart = 100.0f;
  const EpisodeScore s = ScoreEpisode(e, Settings{});
  EXPECT_EQ(s.progress, 0.0f);
  EXPECT_EQ(s.damage, 0.0f);
  EXPECT_EQ(s.spacing, 1.0f) << "no samples counts as fully spaced";
  EXPECT_FLOAT_EQ(s.raw, 0.25f);
  EXPECT_FLOAT_EQ(s.reward, 1.0f / (std::exp(-0.375f) + 1.0f));
}

TEST(EpisodeReward, TermsAreBoundedAndWeighted) {
  const Settings settings;
  EpisodeOutcome e;
  e.startDistance = 20.0f;  // measured against 50
  e.currentDistance = 500.0f;
  e.healthAtStart = 100.0f;
  e.currentHealth = -30.0f;  // counted as 0
  e.maxHealthAtStart = 50.0f;
  e.playerHitSum = 0.5f;
  e.spacingSamples = 4;
  e.spacedSamples = 1;
  EpisodeScore s = ScoreEpisode(e, settings);
  EXPECT_EQ(s.progress, -1.0f);
  EXPECT_EQ(s.damage, 1.0f);
  EXPECT_FLOAT_EQ(s.spacing, 0.25f);
  EXPECT_FLOAT_EQ(s.raw, -1.0f - 1.5f + 0.5f + 0.5f * -0.25f);
  e.startDistance = 1000.0f;
  e.currentDistance = 250.0f;
  e.currentHealth = 120.0f;  // healed: no negative damage
  s = ScoreEpisode(e, settings);
  EXPECT_FLOAT_EQ(s.progress, 0.75f);
  EXPECT_EQ(s.damage, 0.0f);
  EXPECT_FLOAT_EQ(s.reward, 1.0f / (std::exp(-1.5f * s.raw) + 1.0f));
  s.reward = 0.6789f;
  EXPECT_EQ(FormatEpisodeLine("time", "BP_Thug_C", "Arc Left", s, 0.01234f),
            "episode time: BP_Thug_C style=Arc Left progress=0.75 dmg=0.00 hits=0.50 "
            "spacing=0.25 -> reward 0.679 (loss 0.0123)");
  EXPECT_LE(FormatEpisodeLine(std::string(400, 'x'), "", "", s, 0.0f).size(), 255u);
}

}  // namespace
}  // namespace kvr::tactics
