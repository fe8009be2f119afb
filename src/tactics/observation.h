// The pure pieces of a learning episode: the twelve network inputs of a style decision, the
// "emptier side" rule used without the network, the sticky re-plan test and the reward of a
// finished episode. All take plain values, so the per-frame update that owns the thug records
// (and the tests) call them without any engine object.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "aps/aps.h"
#include "settings/settings.h"

namespace kvr::tactics {

using aps::kStyleCount;
using aps::Vec3;

inline constexpr int kInputCount = 12;

// Network inputs in this order: trip length, detour factor, heading vs player, goal-to-player
// distance, player facing me, allies nearby, ally side balance, my health, weight class, has
// attack token, player speed, fear level.
using Observation = std::array<float, kInputCount>;

// Menu labels of the inputs, in Observation order.
const char* ObservationLabel(int index);

// Raw values of one decision. Missing pawn properties take the neutral values given here.
struct ObservationInputs {
  Vec3 start;                // route start
  Vec3 goal;                 // route goal
  float routeLength = 0.0f;  // horizontal length of the engine's route, cm
  bool hasPlayer = false;
  Vec3 player;
  float playerYawDegrees = 0.0f;
  float playerSpeed = 0.0f;
  float health = 0.0f;
  float maxHealth = 1.0f;
  float weightClass = 0.0f;  // ThisAIWeightClassIndex; 0 when missing
  bool hasAggroToken = false;
  float fear = 0.0f;             // CurrentDangerFearValue; 0 when missing
  float fearThreshold = 1.0f;    // DangerFearDodgingTreshold; 1 when missing
  std::span<const Vec3> others;  // positions of the other live thugs that have a pawn
};

// A non-finite start, goal, player value or pawn value gives a NaN input (never a clamped
// bound), so that the episode it opens is refused by Brain::Learn.
Observation BuildObservation(const ObservationInputs& in);

// Horizontal (x, y) distance.
float HorizontalDistance(const Vec3& a, const Vec3& b);

// Normalised 2-D direction a -> b: a squared length of exactly 1 is kept, one below 1e-8 gives
// the zero vector, otherwise divide by the length.
std::array<float, 2> Direction2D(const Vec3& a, const Vec3& b);

// Style without the network: flank on the side where fewer other thugs stand (input 6 is the
// balance); a near-even balance picks the side by the controller index's parity, and trips over
// 1500 cm use the Wide style of that side.
int32_t EmptierSideStyle(float balance, int32_t controllerIndex, float tripDistance);

// True when a re-plan keeps the current style without a new decision.
bool KeepsStyle(int32_t currentStyle, double decisionTime, const Vec3& lastGoal,
                const Vec3& newGoal, double now, const Settings& settings);

// What an episode's end knows about the thug, as plain values.
struct EpisodeOutcome {
  float startDistance = 0.0f;    // pawn to goal at the decision
  float currentDistance = 0.0f;  // pawn to the episode goal now
  float healthAtStart = 0.0f;
  float maxHealthAtStart = 1.0f;
  float currentHealth = 0.0f;
  float playerHitSum = 0.0f;
  int32_t spacingSamples = 0;
  int32_t spacedSamples = 0;
};

struct EpisodeScore {
  float progress = 0.0f;  // p in -1..1
  float damage = 0.0f;    // m in 0..1
  float hits = 0.0f;      // h
  float spacing = 1.0f;   // q in 0..1
  float raw = 0.0f;
  float reward = 0.5f;  // sigmoid of sharpness x raw
};

// Reward of a finished episode from the Rewards settings (float32 throughout). An outcome with
// a non-finite value scores raw and reward NaN (Brain::Learn refuses and counts such episodes).
EpisodeScore ScoreEpisode(const EpisodeOutcome& outcome, const Settings& settings);

// The verbose log line of an episode end (at most 255 characters).
std::string FormatEpisodeLine(const std::string& reason, const std::string& pawnClass,
                              const std::string& styleName, const EpisodeScore& score, float loss);

}  // namespace kvr::tactics
