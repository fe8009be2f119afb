// The living arena: the simulated engine plays a small game the mod can watch and steer.
//
// A player walks the level's patrol (or kites away from thugs that come close), turns at a
// limited rate towards the thug it minds most among those it sees or hears (the nearest, or the
// one charging straight in) and shoots into its frontal cone where it has line of sight, missing
// thugs that cross its fire more often. Thugs of the three controller classes hunt it: each
// walks to a slot around the player (close for the few holding the attack token, a wider ring
// for the rest), planning its route by calling the navmesh's FindPath slot - whatever function
// sits there, the engine's or the mod's - and walking the points of the path object that call
// returns; an attacker close to a player it sees walks the last stretch straight, unplanned.
// Thugs that are shot gain fear and lose health; dead ones get a new pawn on the same controller
// after a while; controllers are now and then destroyed and replaced; with bUseRVOAvoidance on a
// thug steers away from its neighbours, and crowded thugs slow each other down.
//
// Everything happens on the thread that ticks the world (the game thread), driven by a frame
// hook, in a fixed order, from one seeded random source and the world's simulated time: the
// same seed replays the same match. Every number comes from the ArenaRules.
//
// The arena only touches objects it spawned, and learns through its delete listener when
// someone else destroys one of them (from any thread); it then replaces what was lost.
#pragma once
#include <DetourNavMesh.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/arena/arena_fields.h"
#include "sim/arena/arena_rng.h"
#include "sim/arena/rules.h"
#include "sim/game_objects.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/level.h"
#include "sim/path_finding.h"

namespace kvr::sim {

struct ArenaStats {
  uint64_t frames = 0;
  uint64_t pathQueries = 0;   // FindPath calls through the navmesh slot
  uint64_t pathFailures = 0;  // ... that returned no usable path
  uint64_t shotsFired = 0;
  uint64_t shotsHit = 0;
  double thugDamage = 0;  // health taken from thugs, splash included
  uint64_t thugDeaths = 0;
  uint64_t thugRespawns = 0;  // new pawns for dead thugs
  uint64_t meleeHits = 0;
  uint64_t playerChunksLost = 0;
  uint64_t playerDowns = 0;
  uint64_t playerRecoveries = 0;    // chunks won back
  uint64_t controllersRemoved = 0;  // by churn or by someone else's destroy
  uint64_t controllersAdded = 0;    // successors (the first ones not counted)
  uint64_t pawnSwaps = 0;           // live pawns replaced by fresh ones
  uint64_t foreignDestroys = 0;     // arena objects destroyed by someone else
};

enum class ThugPhase : uint8_t {
  kAlive,
  kDead,    // the corpse is still possessed until its new pawn comes
  kAbsent,  // the controller is gone; a successor comes at phaseEnds
};

struct ArenaThug {
  int slot = 0;  // its place in the ring around the player; kept by successors
  ThugKind kind = kBaseThug;
  ThugPhase phase = ThugPhase::kAbsent;
  double phaseEnds = 0;
  UObject* controller = nullptr;
  CharacterObjects body;
  aps::Vec3 position;
  aps::Vec3 velocity;
  float yaw = 0;
  dtPolyRef poly = 0;
  std::vector<aps::Vec3> route;  // the points the last path object held, as walked
  HeldPath path;                 // the path object it follows; re-plans ask FindPath to refill it
  size_t nextPoint = 0;
  bool planned = false;
  bool closingIn = false;  // walking straight at its slot (see ArenaRules::closeInDistance)
  double lastPlan = -1e9;
  aps::Vec3 plannedSlot;  // the slot position the route was planned for
  float health = 0;
  float fear = 0;
  bool token = false;
  double nextMelee = 0;
};

struct ArenaPlayer {
  PlayerObjects objects;
  aps::Vec3 position;
  aps::Vec3 velocity;
  float yaw = 0;  // degrees
  dtPolyRef poly = 0;
  int chunks = 0;
  bool down = false;
  double downUntil = 0;
  double lastHit = -1e9;
  double nextShot = 0;
  size_t patrolIndex = 0;
  std::vector<aps::Vec3> patrolRoute;
  size_t patrolNext = 0;
  bool patrolStale = false;  // kiting took it off its patrol route
  double pauseUntil = 0;     // standing at a patrol point until then
  bool rebuildAll = false;   // a part was destroyed by someone else: respawn everything
};

struct ArenaSetup {
  const Level* level = nullptr;   // with a player start and spawn points
  const NavMesh* mesh = nullptr;  // the level's navmesh
  ArenaRules rules;
  int thugs = 12;
  uint64_t seed = 1;
};

inline constexpr int kMaxArenaThugs = 256;

class Arena final : public host::IDeleteListener {
 public:
  // Makes the level's navmesh the world's navigation, spawns a navmesh actor with the engine's
  // path functions in its slots, the player and the thugs, and plays every frame of `world`
  // from then on. Null with a one-line reason when the level cannot host the arena (no player
  // start or spawn point, a spawn the player cannot be reached from, ...).
  static std::unique_ptr<Arena> Create(World& world, const GameClasses& g, const ArenaSetup& setup,
                                       std::string& error);
  // Destroys what it spawned. Not while another thread ticks the world.
  ~Arena() override;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // Ticks the world on this thread for `seconds` of simulated time, frame by frame.
  void Run(double seconds);

  double Now() const { return now_; }
  const ArenaStats& Stats() const { return stats_; }
  const std::vector<ArenaThug>& Thugs() const { return thugs_; }
  const ArenaPlayer& Player() const { return player_; }
  UObject* NavMeshObject() const { return navmesh_; }
  const ArenaRules& Rules() const { return rules_; }

  // For tests that stage a situation: moves the player or a live thug (its route is dropped,
  // so it plans afresh).
  void PlacePlayer(const aps::Vec3& at, float yawDegrees);
  void PlaceThug(size_t index, const aps::Vec3& at);

  void NotifyUObjectDeleted(const UObject* object, int32_t index) override;
  void OnUObjectArrayShutdown() override;

 private:
  Arena(World& world, const GameClasses& g, const ArenaSetup& setup);
  bool Populate(std::string& error);
  void Step(double seconds);

  // life cycle (arena.cpp)
  void TakeDestroyedObjects();
  bool Forget(const UObject* object);
  void Churn(double seconds);
  void AdvanceLifeCycle();
  bool SpawnController(ArenaThug& thug);
  bool SpawnBody(ArenaThug& thug, const aps::Vec3& at);
  void Discard(UObject* object);
  void DiscardBody(ArenaThug& thug);
  void CollectGarbage();
  aps::Vec3 PickSpawn();
  ThugKind NextKind();

  // thugs (arena_thugs.cpp)
  void UpdateThug(ArenaThug& thug, double seconds);
  aps::Vec3 SlotPosition(const ArenaThug& thug) const;
  aps::Vec3 ReachableSlot(const aps::Vec3& slot);
  void MaybePlan(ArenaThug& thug);
  bool ClosesIn(const ArenaThug& thug);
  void Plan(ArenaThug& thug);
  aps::Vec3 Steer(const ArenaThug& thug, const aps::Vec3& desired) const;
  float CrowdFactor(const ArenaThug& thug) const;
  void Melee(ArenaThug& thug);
  void AssignTokens();
  void WriteThug(ArenaThug& thug);
  void KillThug(ArenaThug& thug);

  // the player (arena_player.cpp)
  bool SpawnPlayerObjects(const aps::Vec3& at);
  void RespawnPlayerPawn();
  void UpdatePlayer(double seconds);
  aps::Vec3 PlayerDirection();
  aps::Vec3 WalkPlayer(const aps::Vec3& step);
  float Threat(const ArenaThug& thug) const;
  void TurnPlayer(double seconds);
  void WritePlayer();
  void Shoot();
  float HitChance(const ArenaThug& thug) const;
  void Damage(ArenaThug& thug, float amount);
  void HitPlayer(int chunks);

  World& world_;
  const GameClasses& g_;
  const Level& level_;
  ArenaRules rules_;
  int thugCount_;
  ArenaFields fields_;
  DetourNav engineNav_;  // answers the engine's path functions
  DetourNav moveNav_;    // the arena's own movement, sight and patrol queries
  ArenaRng rng_;
  double now_ = 0;
  ArenaStats stats_;
  UObject* navmesh_ = nullptr;
  ArenaPlayer player_;
  std::vector<ArenaThug> thugs_;
  std::vector<float> kindCredit_;  // smooth weighted round robin over the thug kinds
  uint32_t serial_ = 0;
  double nextTokens_ = 0;
  aps::Route scratch_;
  struct Garbage {
    UObject* object;
    double at;
  };
  std::vector<Garbage> garbage_;
  int hook_ = 0;

  std::mutex destroyedMutex_;
  std::vector<const UObject*> destroyed_;  // notices not yet taken by the game thread
  std::atomic<bool> shutDown_{false};
};

}  // namespace kvr::sim
