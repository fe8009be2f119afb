// TrackedThug: one record per AI controller that has (or had) a pawn, with the player cache and
// the map that keys the records by controller.
//
// Records hold engine pointers only while the engine keeps the objects: every pointer stored
// here is also in the watched-object set, and the delete listener clears it when the engine
// deletes the object. Guarded by the state lock.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "aps/aps.h"
#include "host/api/host.h"
#include "tactics/observation.h"

namespace kvr::game {

struct TrackedThug {
  host::UObject* controller = nullptr;  // same as the map key
  host::UObject* pawn = nullptr;        // null when lost
  host::UObject* movement = nullptr;    // CharacterMovement whose avoidance the mod changed
  int32_t controllerIndex = -1;         // object-array index of the controller
  std::string pawnClassName;            // read once, when first empty
  bool isBoss = false;
  bool excluded = false;  // a boss while AffectBosses is 0: engine routes and avoidance
  int32_t genomeIndex = -1;

  // The learning episode: the last style decision and the approach being judged.
  int32_t currentStyle = -1;  // -1 = no decision yet
  int32_t episodeCount = 0;   // episodes of this thug that were judged
  double decisionTime = -1e9;
  aps::Vec3 lastGoal;  // goal of the last route the path hook handled (sticky rule)
  bool explored = false;
  std::array<float, aps::kStyleCount> outputs{};  // all 0 after a rule decision
  float lastReward = -1.0f;
  bool episodeActive = false;
  double episodeStartTime = 0.0;
  tactics::Observation episodeInputs{};
  int32_t episodeStyle = 0;
  int32_t episodeGenome = -1;
  float healthAtStart = 0.0f;
  float maxHealthAtStart = 1.0f;
  aps::Vec3 episodeGoal;
  float startDistance = 0.0f;  // horizontal, pawn to goal at the decision
  float playerHitSum = 0.0f;   // shares of player health chunks lost near this thug

  // 0.1 s samples of the running episode, and those in which no live thug stood closer than
  // SpacingDistance.
  uint32_t spacingSamples = 0;
  uint32_t spacedSamples = 0;

  // Read from the pawn (RefreshThug).
  aps::Vec3 position;
  float health = 0.0f;
  float maxHealth = 1.0f;
  bool alive = true;

  // The last route handed to the engine for this thug, for the overlay.
  std::vector<aps::Vec3> routePoints;
  double routeTime = -100.0;
  int32_t routeStyle = -1;
  bool routeReshaped = false;

  // Local avoidance: applied flag and the component's values from before the mod changed them.
  bool avoidanceApplied = false;
  bool savedRvo = false;
  float savedRadius = 0.0f;
  float savedWeight = 0.0f;
};

// FNV-1a over the 8 bytes of a pointer: records are found by object identity.
struct PointerHash {
  size_t operator()(const host::UObject* object) const {
    uint64_t bits = 0;
    std::memcpy(&bits, &object, sizeof object < sizeof bits ? sizeof object : sizeof bits);
    uint64_t h = 0xCBF29CE484222325ull;
    for (int i = 0; i < 8; ++i) {
      h ^= (bits >> (8 * i)) & 0xFFu;
      h *= 0x100000001B3ull;
    }
    return static_cast<size_t>(h);
  }
};

using ThugMap = std::unordered_map<const host::UObject*, TrackedThug, PointerHash>;

// What the mod knows of the player and the camera that follows it.
struct PlayerCache {
  host::UObject* pawn = nullptr;
  int32_t healthChunkBaseline = -1;  // -1 = not read since the player was found
  aps::Vec3 position;
  float yaw = 0.0f;    // degrees
  float speed = 0.0f;  // horizontal, cm/s
  host::UObject* cameraManager = nullptr;
};

}  // namespace kvr::game
