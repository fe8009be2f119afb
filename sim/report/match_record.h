// Everything one match leaves behind for its report: the mod's verbose lines stamped with the
// simulated time they arrived at, the arena's own game statistics, the settings and brain the
// mod wrote, and each thug's last route. Filled by the match loop, read by the report writers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "aps/aps.h"
#include "settings/settings.h"
#include "sim/report/mod_log.h"

namespace kvr::sim::report {

// How the mod's settings choose the style: the network as configured, always at random, the
// emptier-side rule without the network, or one style for every decision (a brain whose
// networks always answer that style, with exploration, learning and evolution off).
enum class PolicyKind { kLearned, kRandom, kRule, kFixed };

struct Policy {
  PolicyKind kind = PolicyKind::kLearned;
  int style = -1;  // the style a fixed policy plays; -1 for the others

  static const Policy kLearned, kRandom, kRule;
  static Policy Fixed(int style) { return {PolicyKind::kFixed, style}; }
  friend bool operator==(const Policy&, const Policy&) = default;
};
inline constexpr Policy Policy::kLearned{PolicyKind::kLearned, -1};
inline constexpr Policy Policy::kRandom{PolicyKind::kRandom, -1};
inline constexpr Policy Policy::kRule{PolicyKind::kRule, -1};
inline constexpr Policy kPolicies[] = {Policy::kLearned, Policy::kRandom, Policy::kRule};

// "learned", "random", "rule" or "fixed:<style name>" ("fixed:Arc Left").
std::string PolicyName(const Policy& policy);
bool ParsePolicy(const std::string& text, Policy& out);
// A stable order of policies for tables: learned, random, rule, then the fixed styles in style
// order.
int PolicyOrder(const Policy& policy);

// One setting a policy needs, by row, and its value.
struct PolicySetting {
  int row;
  double value;
};
// The settings a policy needs; every other setting stays as the user has it. VerboseLog is on
// for every policy (the report is read from the verbose lines); random = ExploreStart =
// ExploreMin = 1; rule = NeuralTactics 0; fixed = no exploration, one genome (no evolution), no
// replay and the smallest training step the settings allow, so the brain it plays keeps its
// answer.
std::vector<PolicySetting> PolicySettings(const Policy& policy);
void ApplyPolicy(const Policy& policy, Settings& settings);

struct MatchRun {
  std::string level;  // "default" or a file
  int thugs = 0;
  double minutes = 0.0;  // simulated minutes asked for
  uint64_t seed = 0;
  Policy policy = Policy::kLearned;
  double wallSeconds = 0.0;
  std::string platform;  // "native" or "wine"
};

struct TimedEpisode {
  double simSeconds = 0.0;
  EpisodeLine line;
};

struct TimedReshape {
  double simSeconds = 0.0;
  ReshapeLine line;
};

// The arena's own tally, independent of what the mod says.
struct GameTally {
  double simSeconds = 0.0;
  double playerChunksLost = 0.0;  // health chunks the player lost
  int playerDeaths = 0;
  int thugDeaths = 0;
  double thugDamage = 0.0;    // health thugs lost, in thug max-healths (2.5 = two and a half thugs)
  double spacingSumCm = 0.0;  // distance to the nearest other live thug, summed over samples
  uint64_t spacingSamples = 0;
  uint64_t plans = 0;        // route plans of thugs through the navmesh's path slot
  uint64_t failedPlans = 0;  // ... that came back without a usable path
  uint64_t frames = 0;
  // Engine time the simulated engine charged for navigation on the game thread: a model of
  // what the queries cost in the game, moved onto the simulated clock, never real time.
  double modelledNavigationSeconds = 0.0;
};

// The brain file the mod left, as read back.
struct BrainFigures {
  bool read = false;
  std::string error;  // why it could not be read
  uint64_t episodes = 0;
  uint32_t generation = 0;
  float averageLoss = 0.0f;
  size_t replayRecords = 0;
  size_t genomes = 0;
};

// A thug's last route: what the engine found and what the thug was given.
struct ThugRoute {
  std::string name;
  int style = -1;  // from the reshape line of this plan; -1 when the engine's route was kept
  bool reshaped = false;
  aps::Route engine;
  aps::Route walked;
  aps::Vec3 position;  // where the thug stands at the end
  bool alive = true;
};

struct PlayerView {
  aps::Vec3 position;
  float yawDegrees = 0.0f;
  float coneDegrees = 0.0f;  // full opening angle of the player's fire cone; 0 = not drawn
  float reachCm = 0.0f;      // how far the player's shots reach
};

struct MatchRecord {
  MatchRun run;
  Settings settings;  // as the mod read them (config.ini read back after the match)
  std::vector<TimedEpisode> episodes;
  std::vector<TimedReshape> reshapes;
  uint64_t logLines = 0;
  CostLine modCost;  // the mod's last cost line; frames 0 when it wrote none
  GameTally game;
  BrainFigures brain;
  uint64_t brainEpisodesBefore = 0;  // episodes the brain had learnt before this match
  std::vector<ThugRoute> lastRoutes;
  PlayerView player;
};

}  // namespace kvr::sim::report
