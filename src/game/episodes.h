// Learning episodes on the thugs: the sticky re-plan check, the style decision that opens an
// episode, and the end of an episode with its reward.
//
// All run on the game thread with the state lock held: the decision from the path hook inside
// the engine's path query, the ends from the per-frame update, the delete listener and shutdown.
#pragma once
#include "aps/aps.h"
#include "game/tracked_thug.h"
#include "settings/settings.h"

namespace kvr::game {

struct GameRuntime;

// True when a re-plan keeps the thug's current style without a decision: a style was chosen,
// StickySeconds is above 0, less than StickySeconds have passed since the decision and the new
// goal lies less than StickyGoalRadius (horizontally) from the last goal. Pure: the caller
// counts a kept re-plan and stores the new goal as the last goal either way.
bool KeepStickyStyle(const Settings& s, const TrackedThug& thug, const aps::Vec3& goal, double now);

// Refreshes the pawn, ends the running episode ("re-plan"), builds the observation from the live
// thugs and the player, and picks the style with the thug's genome network (NeuralTactics 1 and a
// genome) or the emptier-side rule. Opens a new episode after a network decision. Afterwards
// thug.currentStyle is the style to shape the route with. routeLength is the horizontal length
// of the engine's route.
void DecideApproachStyle(GameRuntime& rt, TrackedThug& thug, const aps::Vec3& start,
                         const aps::Vec3& goal, float routeLength, double now);

// Judges and closes the running episode, if any: reward from progress, damage, player hits and
// spacing; the genome that chose the style learns it. With VerboseLog 1 logs the "episode" line.
void EndEpisode(GameRuntime& rt, TrackedThug& thug, const char* reason);

}  // namespace kvr::game
