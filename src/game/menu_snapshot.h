// MenuSnapshot: everything the menu and the route overlay draw, built by the game thread.
//
// The render thread never touches game objects, the brain or the thug map; it draws only from
// this value. The per-frame update builds a new snapshot under the state lock and swaps it into
// ModState under the settings lock; the render thread copies it under the same lock. The
// snapshot owns every string and vector it holds, so a copy never points into game memory.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "aps/aps.h"
#include "aps/reshape_outcome.h"
#include "game/frame_cost.h"

namespace kvr::game {

// One line of the menu's Verification tab.
struct StatusRow {
  std::string label;
  int32_t state = 0;  // 1 good, 0 waiting, -1 bad
  std::string text;
};

struct GenomeRow {
  int32_t number = 0;  // genome index
  int32_t bornGeneration = 0;
  int32_t episodes = 0;
  int32_t users = 0;  // thugs holding it
  double fitness = 0.0;
};

struct StyleRow {
  uint64_t episodes = 0;
  double rewardSum = 0.0;
};

// One tracked thug with a pawn; rows are sorted nearest to the player first.
struct ThugRow {
  std::string pawnClassName;
  int32_t genome = -1;
  int32_t episodes = 0;  // episodes of this thug that were judged
  bool boss = false;
  int32_t currentStyle = -1;                      // -1 = no decision yet
  bool explored = false;                          // the current style was an exploration pick
  std::array<float, aps::kStyleCount> outputs{};  // network's expected score per style
  float lastReward = -1.0f;                       // -1 = none yet
  bool episodeActive = false;
  float healthFraction = 0.0f;    // health / max(1, max health)
  float distanceToPlayer = 0.0f;  // horizontal cm; 0 without a player

  // The running episode.
  int32_t episodeStyle = -1;    // style being judged; -1 without a running episode
  float episodeSeconds = 0.0f;  // its age
  float playerHitSum = 0.0f;    // player health chunks credited to it so far
};

// The camera the overlay projects with (engine units: cm, degrees).
struct CameraView {
  bool valid = false;
  aps::Vec3 location;
  aps::Vec3 rotation;  // pitch, yaw, roll
  float fov = 90.0f;
  int32_t aspectRatioAxisConstraint = 1;  // 0 keep Y FOV, 1 keep X FOV, 2 major axis
};

struct RouteLine {
  std::vector<aps::Vec3> points;
  int32_t style = 0;    // 0..6
  uint32_t colour = 0;  // 0x00RRGGBB of the style (top byte ignored)
  std::string label;    // style name, + " (engine)" when not reshaped
  bool reshaped = false;
};

struct MenuSnapshot {
  double time = 0.0;  // SteadySeconds when built
  bool tickAlive = false;
  double frameRate = 0.0;

  // Navmesh hooks and path safety.
  int32_t navmeshCount = 0;
  int32_t hookedCount = 0;
  bool exactBuild = false;
  bool selfTestPassed = false;
  bool reshapingDisabled = false;
  std::string pathSafetyStatus;

  // Faults and the path hook's counters.
  uint64_t totalFaults = 0;
  uint64_t hookCalls = 0;
  std::array<uint64_t, aps::kReshapeOutcomeCount> outcomes{};  // indexed by ReshapeOutcome
  double largestBuildMs = 0.0;
  double averageBuildMs = 0.0;     // per arc attempt (reshaped + no valid arc)
  double averageNavQueries = 0.0;  // per arc attempt
  uint64_t styleDecisions = 0;
  // The mod's own game-thread time per frame over the last ten seconds (see frame_cost.h).
  FrameCostFigures gameThreadCost;

  // Player.
  bool playerPresent = false;
  int32_t playerHealthChunks = -1;

  // Brain.
  std::vector<int32_t> layerSizes;  // input to output
  uint64_t totalEpisodes = 0;
  int32_t generation = 0;
  float explorationRate = 0.0f;
  size_t replaySize = 0;
  float averageLoss = 0.0f;
  uint64_t nonFiniteEpisodes = 0;  // refused: an input or the reward was not finite
  std::vector<GenomeRow> genomes;
  std::array<StyleRow, aps::kStyleCount> styles{};

  // Thugs.
  int32_t thugsTracked = 0;
  int32_t avoidanceOn = 0;
  std::vector<ThugRow> thugs;

  std::string brainStatus;
  std::string configStatus;
  std::vector<StatusRow> statusRows;

  // Only while ShowPathOverlay is 1.
  CameraView camera;
  std::vector<RouteLine> routes;
};

}  // namespace kvr::game
