// The arena's set-up, its frame and the life cycle of what it spawned: controllers, pawns,
// their replacement, and the delayed destruction of what is discarded.
#include "sim/arena/arena.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "sim/arena/arena_support.h"
#include "sim/path_finding.h"

namespace kvr::sim {

namespace {

bool Find(const Class* c, const wchar_t* name, PropertyKind kind, const Property*& out,
          std::string& error) {
  out = c ? c->FindInChain(name) : nullptr;
  if (out && out->kind == kind) return true;
  error = "the game classes lack the property ";
  for (const wchar_t* p = name; *p; ++p) error += static_cast<char>(*p);
  return false;
}

}  // namespace

bool ArenaFields::Resolve(const GameClasses& g, std::string& error) {
  using K = PropertyKind;
  return Find(g.thug, L"Health", K::Float, health, error) &&
         Find(g.thug, L"MaxHealth", K::Float, maxHealth, error) &&
         Find(g.thug, L"bIsAlive", K::Bool, alive, error) &&
         Find(g.thug, L"ThisAIWeightClassIndex", K::Int32, weightClass, error) &&
         Find(g.thug, L"HasAggroToken", K::Bool, aggroToken, error) &&
         Find(g.thug, L"CurrentDangerFearValue", K::Float, fear, error) &&
         Find(g.thug, L"DangerFearDodgingTreshold", K::Float, fearThreshold, error) &&
         Find(g.player, L"CurrentHealthChunk", K::Int32, healthChunk, error) &&
         Find(g.controller, L"Pawn", K::Object, controllerPawn, error) &&
         Find(g.pawn, L"Controller", K::Object, pawnController, error) &&
         Find(g.sceneComponent, L"RelativeLocation", K::Struct, location, error) &&
         Find(g.sceneComponent, L"RelativeRotation", K::Struct, rotation, error) &&
         Find(g.movementComponent, L"Velocity", K::Struct, velocity, error) &&
         Find(g.movementComponent, L"MaxWalkSpeed", K::Float, maxWalkSpeed, error) &&
         Find(g.movementComponent, L"bUseRVOAvoidance", K::Bool, useRvo, error) &&
         Find(g.movementComponent, L"AvoidanceConsiderationRadius", K::Float, rvoRadius, error) &&
         Find(g.movementComponent, L"AvoidanceWeight", K::Float, rvoWeight, error) &&
         Find(g.cameraManager, L"ViewLocation", K::Struct, viewLocation, error) &&
         Find(g.cameraManager, L"ViewRotation", K::Struct, viewRotation, error) &&
         Find(g.cameraManager, L"DefaultFOV", K::Float, fov, error) &&
         Find(g.localPlayer, L"AspectRatioAxisConstraint", K::Byte, aspectRule, error);
}

std::unique_ptr<Arena> Arena::Create(World& world, const GameClasses& g, const ArenaSetup& setup,
                                     std::string& error) {
  if (!setup.level || !setup.mesh || !setup.mesh->Valid()) {
    error = "the arena needs a level and its navmesh";
    return nullptr;
  }
  if (!setup.level->hasPlayerStart) {
    error = "the level names no player start (\"player\": {\"start\": [x, y]})";
    return nullptr;
  }
  if (setup.level->spawns.empty()) {
    error = "the level names no thug spawn points (\"spawns\": [[x, y], ...])";
    return nullptr;
  }
  if (setup.thugs < 0 || setup.thugs > kMaxArenaThugs) {
    error = "the arena holds 0 to " + std::to_string(kMaxArenaThugs) + " thugs";
    return nullptr;
  }
  std::unique_ptr<Arena> arena(new Arena(world, g, setup));
  if (!arena->Populate(error)) return nullptr;
  return arena;
}

Arena::Arena(World& world, const GameClasses& g, const ArenaSetup& setup)
    : world_(world),
      g_(g),
      level_(*setup.level),
      rules_(setup.rules),
      thugCount_(setup.thugs),
      engineNav_(*setup.mesh),
      moveNav_(*setup.mesh),
      rng_(setup.seed),
      kindCredit_(kThugKindCount, 0.0f) {}

// Every place the arena sends someone must be reachable from the player's start: a spawn in a
// closed room would leave a thug standing there for the whole match.
static bool CheckReachable(DetourNav& nav, const Level& level, aps::Route& scratch,
                           std::string& error) {
  const auto check = [&](const aps::Vec3& p, const char* what, size_t i) {
    if (nav.FindPath(p, level.playerStart, scratch)) return true;
    error = std::string("the level's ") + what + " point " + std::to_string(i + 1) + " (" +
            std::to_string(static_cast<int>(p.x)) + ", " + std::to_string(static_cast<int>(p.y)) +
            ") has no path to the player start";
    return false;
  };
  aps::Vec3 start;
  if (!nav.ProjectPoint(level.playerStart, start)) {
    error = "the level's player start is not on the navmesh";
    return false;
  }
  for (size_t i = 0; i < level.spawns.size(); ++i)
    if (!check(level.spawns[i], "spawn", i)) return false;
  for (size_t i = 0; i < level.patrol.size(); ++i)
    if (!check(level.patrol[i], "patrol", i)) return false;
  return true;
}

bool Arena::Populate(std::string& error) {
  if (!fields_.Resolve(g_, error)) return false;
  if (!engineNav_.Valid() || !moveNav_.Valid()) {
    error = "the navmesh cannot be queried";
    return false;
  }
  if (!CheckReachable(moveNav_, level_, scratch_, error)) return false;
  world_.SetNavigation(&engineNav_);
  navmesh_ = SpawnEngineNavMesh(world_, g_, L"RecastNavMesh-Default");
  if (!navmesh_ || !SpawnPlayerObjects(level_.playerStart)) {
    error = "the world refused to spawn the arena's actors";
    return false;
  }
  thugs_.resize(static_cast<size_t>(thugCount_));
  for (int i = 0; i < thugCount_; ++i) {
    ArenaThug& thug = thugs_[static_cast<size_t>(i)];
    thug.slot = i;
    thug.kind = NextKind();
    const aps::Vec3& spawn = level_.spawns[static_cast<size_t>(i) % level_.spawns.size()];
    if (!SpawnController(thug) || !SpawnBody(thug, spawn)) {
      error = "the world refused to spawn a thug";
      return false;
    }
  }
  world_.AddUObjectDeleteListener(this);
  hook_ = world_.AddFrameHook([this](World&, double seconds) { Step(seconds); });
  return true;
}

Arena::~Arena() {
  if (hook_) world_.RemoveFrameHook(hook_);
  world_.RemoveUObjectDeleteListener(this);
  // Its actors go with it: nothing it spawned is left to tick or to answer path queries.
  if (!shutDown_.load()) {
    for (const Garbage& g : garbage_) world_.Destroy(g.object);
    for (ArenaThug& thug : thugs_) {
      ReleaseHeldPath(thug.path);
      for (UObject* part : {thug.controller, thug.body.pawn, thug.body.root, thug.body.movement})
        if (part) world_.Destroy(part);
    }
    const PlayerObjects& p = player_.objects;
    for (UObject* part : {p.pawn, p.root, p.movement, p.controller, p.cameraManager, p.localPlayer})
      if (part) world_.Destroy(part);
    if (navmesh_) world_.Destroy(navmesh_);
  }
  if (world_.Navigation() == &engineNav_) world_.SetNavigation(nullptr);
}

void Arena::Run(double seconds) {
  const double frame = rules_.frameSeconds;
  const auto frames = static_cast<long long>(std::llround(seconds / frame));
  for (long long i = 0; i < frames; ++i) world_.Tick(frame);
}

void Arena::Step(double seconds) {
  if (shutDown_.load()) return;
  now_ += seconds;
  ++stats_.frames;
  TakeDestroyedObjects();
  Churn(seconds);
  AdvanceLifeCycle();
  UpdatePlayer(seconds);
  if (now_ >= nextTokens_) {
    AssignTokens();
    nextTokens_ = now_ + rules_.tokenSeconds;
  }
  for (ArenaThug& thug : thugs_)
    if (thug.phase == ThugPhase::kAlive) UpdateThug(thug, seconds);
  Shoot();
  const float fearLoss = rules_.fearDecay * static_cast<float>(seconds);
  for (ArenaThug& thug : thugs_) {
    if (thug.phase == ThugPhase::kAbsent) continue;
    if (thug.phase == ThugPhase::kAlive && thug.health <= 0.0f) KillThug(thug);
    thug.fear = std::max(0.0f, thug.fear - fearLoss);
    WriteThug(thug);
  }
  WritePlayer();
  CollectGarbage();
}

// --- objects destroyed by someone else ------------------------------------------------------

void Arena::NotifyUObjectDeleted(const UObject* object, int32_t) {
  std::lock_guard<std::mutex> lock(destroyedMutex_);
  destroyed_.push_back(object);
}

void Arena::OnUObjectArrayShutdown() {
  shutDown_.store(true);
}

// Notices are taken at the start of a frame, before anything is spawned in it: an address in
// the list cannot yet belong to a new object (freed memory is reused only after the world's
// collection at the start of the next frame).
void Arena::TakeDestroyedObjects() {
  std::vector<const UObject*> taken;
  {
    std::lock_guard<std::mutex> lock(destroyedMutex_);
    taken.swap(destroyed_);
  }
  for (const UObject* object : taken) {
    if (Forget(object)) ++stats_.foreignDestroys;
  }
}

// Drops every reference to a destroyed object; true when it was one the arena still used.
bool Arena::Forget(const UObject* object) {
  const size_t before = garbage_.size();
  std::erase_if(garbage_, [object](const Garbage& g) { return g.object == object; });
  if (garbage_.size() != before) return false;
  if (object == navmesh_) {
    navmesh_ = nullptr;
    return true;
  }
  for (ArenaThug& thug : thugs_) {
    if (thug.phase == ThugPhase::kAbsent) continue;
    if (object == thug.controller) {
      thug.controller = nullptr;
      DiscardBody(thug);
      thug.phase = ThugPhase::kAbsent;
      thug.phaseEnds = now_ + rules_.newControllerSeconds;
      ++stats_.controllersRemoved;
      return true;
    }
    CharacterObjects& b = thug.body;
    if (object == b.pawn || object == b.root || object == b.movement) {
      (object == b.pawn ? b.pawn : object == b.root ? b.root : b.movement) = nullptr;
      DiscardBody(thug);
      if (thug.controller) FieldAt<UObject*>(thug.controller, fields_.controllerPawn) = nullptr;
      thug.phase = ThugPhase::kDead;
      thug.phaseEnds = now_ + rules_.thugRespawnSeconds;
      thug.token = false;
      return true;
    }
  }
  PlayerObjects& p = player_.objects;
  for (UObject** part :
       {&p.pawn, &p.root, &p.movement, &p.controller, &p.cameraManager, &p.localPlayer}) {
    if (*part != object) continue;
    *part = nullptr;
    player_.rebuildAll = true;
    player_.down = true;
    player_.downUntil = now_ + rules_.respawnSeconds;
    return true;
  }
  return false;
}

// --- life cycle ----------------------------------------------------------------------------

ThugKind Arena::NextKind() {
  float total = 0.0f;
  int best = 0;
  for (int k = 0; k < kThugKindCount; ++k) {
    kindCredit_[static_cast<size_t>(k)] += rules_.thugs[k].share;
    total += rules_.thugs[k].share;
    if (kindCredit_[static_cast<size_t>(k)] > kindCredit_[static_cast<size_t>(best)]) best = k;
  }
  kindCredit_[static_cast<size_t>(best)] -= total;
  return static_cast<ThugKind>(best);
}

// A spawn point away from the player: one of the farther half, at random.
aps::Vec3 Arena::PickSpawn() {
  std::vector<std::pair<float, size_t>> byDistance;
  for (size_t i = 0; i < level_.spawns.size(); ++i)
    byDistance.push_back({FloorDistance(level_.spawns[i], player_.position), i});
  std::sort(byDistance.begin(), byDistance.end());
  const size_t half = byDistance.size() / 2;
  const size_t pick = half + rng_.Below(byDistance.size() - half);
  return level_.spawns[byDistance[pick].second];
}

bool Arena::SpawnController(ArenaThug& thug) {
  static Class* GameClasses::*const kControllers[kThugKindCount] = {&GameClasses::baseAIController,
                                                                    &GameClasses::armedAIController,
                                                                    &GameClasses::bossAIController};
  SpawnOptions ticking;
  ticking.ticks = true;
  thug.controller =
      world_.Spawn(*(g_.*kControllers[thug.kind]), Numbered(L"ThugController", ++serial_), ticking);
  return thug.controller != nullptr;
}

bool Arena::SpawnBody(ArenaThug& thug, const aps::Vec3& at) {
  static Class* GameClasses::*const kPawns[kThugKindCount] = {
      &GameClasses::thug, &GameClasses::armedThug, &GameClasses::bossThug};
  // Thugs sent to one spawn point stand a little apart.
  aps::Vec3 place{at.x + rng_.Range(-60.0f, 60.0f), at.y + rng_.Range(-60.0f, 60.0f), at.z};
  if (!moveNav_.ProjectPoint(place, place)) place = at;
  thug.body = SpawnCharacter(world_, g_, *(g_.*kPawns[thug.kind]), Numbered(L"Thug", ++serial_),
                             place, thug.controller);
  if (!thug.body.pawn) return false;
  const ThugClassRules& c = rules_.thugs[thug.kind];
  UObject* pawn = thug.body.pawn;
  UObject* movement = thug.body.movement;
  FieldAt<float>(pawn, fields_.maxHealth) = c.health;
  FieldAt<int32_t>(pawn, fields_.weightClass) = static_cast<int32_t>(c.weightClass);
  FieldAt<float>(pawn, fields_.fearThreshold) = c.fearThreshold;
  FieldAt<float>(movement, fields_.maxWalkSpeed) = c.speed;
  SetFlag(movement, fields_.useRvo, rules_.avoidanceOn != 0.0f);
  FieldAt<float>(movement, fields_.rvoRadius) = rules_.avoidanceRadius;
  FieldAt<float>(movement, fields_.rvoWeight) = rules_.avoidanceWeight;
  thug.phase = ThugPhase::kAlive;
  thug.health = c.health;
  thug.fear = 0.0f;
  thug.token = false;
  thug.position = place;
  thug.velocity = {};
  thug.poly = 0;
  thug.route.clear();
  thug.nextPoint = 0;
  thug.planned = false;
  // Staggered, so thugs that appear together do not all plan in the same frame.
  thug.lastPlan = now_ - rng_.Range(0.0f, rules_.replanSeconds);
  thug.nextMelee = now_;
  WriteThug(thug);
  return true;
}

void Arena::Discard(UObject* object) {
  if (!object) return;
  world_.MarkPendingKill(object);
  garbage_.push_back({object, now_ + rules_.garbageSeconds});
}

void Arena::DiscardBody(ArenaThug& thug) {
  Discard(thug.body.pawn);
  Discard(thug.body.root);
  Discard(thug.body.movement);
  thug.body = {};
  thug.token = false;
  thug.route.clear();
  ReleaseHeldPath(thug.path);  // its pawn's path following ends with the pawn
}

void Arena::CollectGarbage() {
  // Destroy may tell listeners that call back into the world; the list is settled first.
  std::vector<UObject*> due;
  std::erase_if(garbage_, [&](const Garbage& g) {
    if (g.at > now_) return false;
    due.push_back(g.object);
    return true;
  });
  for (UObject* object : due) world_.Destroy(object);
}

void Arena::Churn(double seconds) {
  const double minutes = seconds / 60.0;
  const bool dropController = rng_.NextUnit() < rules_.controllerChurnPerMinute * minutes;
  const bool swapPawn = rng_.NextUnit() < rules_.pawnSwapsPerMinute * minutes;
  if (!dropController && !swapPawn) return;
  std::vector<ArenaThug*> alive;
  for (ArenaThug& thug : thugs_)
    if (thug.phase == ThugPhase::kAlive) alive.push_back(&thug);
  if (alive.empty()) return;
  ArenaThug& picked = *alive[rng_.Below(alive.size())];
  if (dropController) {
    Discard(picked.controller);
    picked.controller = nullptr;
    DiscardBody(picked);
    picked.phase = ThugPhase::kAbsent;
    picked.phaseEnds = now_ + rules_.newControllerSeconds;
    ++stats_.controllersRemoved;
  } else {
    DiscardBody(picked);
    if (SpawnBody(picked, PickSpawn())) {
      ++stats_.pawnSwaps;
    } else {
      picked.phase = ThugPhase::kDead;  // comes back through the respawn
      picked.phaseEnds = now_ + 1.0;
    }
  }
}

void Arena::AdvanceLifeCycle() {
  if (!navmesh_) navmesh_ = SpawnEngineNavMesh(world_, g_, Numbered(L"RecastNavMesh", ++serial_));
  for (ArenaThug& thug : thugs_) {
    if (thug.phase == ThugPhase::kAlive || now_ < thug.phaseEnds) continue;
    if (thug.phase == ThugPhase::kAbsent) {
      if (!SpawnController(thug) || !SpawnBody(thug, PickSpawn())) {
        thug.phaseEnds = now_ + 1.0;  // the world is shutting down or full; try again later
        continue;
      }
      ++stats_.controllersAdded;
    } else {
      DiscardBody(thug);
      if (!SpawnBody(thug, PickSpawn())) {
        thug.phaseEnds = now_ + 1.0;
        continue;
      }
      ++stats_.thugRespawns;
    }
  }
  if (player_.down && now_ >= player_.downUntil) RespawnPlayerPawn();
}

void Arena::PlaceThug(size_t index, const aps::Vec3& at) {
  if (index >= thugs_.size() || thugs_[index].phase != ThugPhase::kAlive) return;
  ArenaThug& thug = thugs_[index];
  if (!moveNav_.ProjectPoint(at, thug.position)) thug.position = at;
  thug.poly = 0;
  thug.route.clear();
  thug.nextPoint = 0;
  thug.planned = false;
  thug.lastPlan = -1e9;
  WriteThug(thug);
}

}  // namespace kvr::sim
