// Local avoidance on the thugs' movement components: switched on with the mod's values and put
// back exactly as the component had it.
#include <gtest/gtest.h>

#include "game/avoidance.h"
#include "game_fixture.h"

namespace kvr {
namespace {

class Avoidance : public test::GameFixture {
 protected:
  float& Radius(const sim::ThugObjects& t) {
    return *world_.Field<float>(t.movement, L"AvoidanceConsiderationRadius");
  }
  float& Weight(const sim::ThugObjects& t) {
    return *world_.Field<float>(t.movement, L"AvoidanceWeight");
  }
  bool Rvo(const sim::ThugObjects& t) { return world_.GetBool(t.movement, L"bUseRVOAvoidance"); }
};

TEST_F(Avoidance, OnWritesTheSettingsAndOffRestoresTheComponentExactly) {
  Settings s;
  s.AvoidanceRadius = 420.0f;
  s.AvoidanceWeight = 0.75f;
  Start(s);
  const auto t = Thug(L"T", {0, 0, 0});
  world_.SetBool(t.movement, L"bUseRVOAvoidance", true);  // the game had it on already
  Radius(t) = 123.5f;
  Weight(t) = 0.25f;
  Discover();
  game::TrackedThug& r = Record(t);
  ASSERT_TRUE(r.avoidanceApplied);
  EXPECT_EQ(r.movement, t.movement);
  EXPECT_FLOAT_EQ(Radius(t), 420.0f);
  EXPECT_FLOAT_EQ(Weight(t), 0.75f);
  EXPECT_TRUE(Rvo(t));

  // While applied, settings changes reach the component at the next discovery; the values kept
  // for the restore stay the ones from before the first change, and SetAvoidanceEnabled is not
  // called again (the flag the game cleared meanwhile stays clear).
  world_.SetBool(t.movement, L"bUseRVOAvoidance", false);
  s.AvoidanceRadius = 800.0f;
  Publish(s);
  Discover();
  EXPECT_FLOAT_EQ(Radius(t), 800.0f);
  EXPECT_FALSE(Rvo(t));
  EXPECT_FLOAT_EQ(r.savedRadius, 123.5f);

  s.LocalAvoidance = false;
  Publish(s);
  Discover();
  EXPECT_FALSE(r.avoidanceApplied);
  EXPECT_FLOAT_EQ(Radius(t), 123.5f);
  EXPECT_FLOAT_EQ(Weight(t), 0.25f);
  EXPECT_TRUE(Rvo(t)) << "SetAvoidanceEnabled(true): the component had it on";

  // Off while off writes nothing.
  Radius(t) = 77.0f;
  Discover();
  EXPECT_FLOAT_EQ(Radius(t), 77.0f);
}

TEST_F(Avoidance, DeadThugsAndMissingPartsAreLeftAlone) {
  mod::ModRuntime& rt = Start();
  const auto t = Thug(L"T", {0, 0, 0});
  SetAlive(t, false);
  Discover();
  EXPECT_FALSE(Record(t).avoidanceApplied);
  EXPECT_FALSE(Rvo(t));
  EXPECT_EQ(Record(t).movement, nullptr);

  // No CharacterMovement on the pawn: nothing is cached or changed.
  SetAlive(t, true);
  host::UObject* movement = t.movement;
  *world_.Field<host::UObject*>(t.pawn, L"CharacterMovement") = nullptr;
  Discover();
  EXPECT_EQ(Record(t).movement, nullptr);
  EXPECT_FALSE(Record(t).avoidanceApplied);

  // A thug without a pawn is skipped outright.
  game::TrackedThug lost;
  game::SetAvoidance(rt, lost, true);
  EXPECT_FALSE(lost.avoidanceApplied);

  *world_.Field<host::UObject*>(t.pawn, L"CharacterMovement") = movement;
  Discover();
  EXPECT_TRUE(Record(t).avoidanceApplied);
  EXPECT_EQ(rt.game.watched.count(movement), 1u) << "watched, so its deletion clears it";
}

}  // namespace
}  // namespace kvr
