// The player: patrol or kiting, turning towards the threat it minds most, shooting into its frontal
// cone, losing health chunks to melee, recovering, going down and respawning; the camera that
// follows it.
#include <algorithm>
#include <cmath>

#include "sim/arena/arena.h"
#include "sim/arena/arena_support.h"
#include "sim/nav/obstacle_ray.h"

namespace kvr::sim {

bool Arena::SpawnPlayerObjects(const aps::Vec3& at) {
  player_.objects =
      sim::SpawnPlayer(world_, g_, serial_ ? Numbered(L"Player", ++serial_) : L"Player", at);
  if (!player_.objects.pawn) return false;
  if (!moveNav_.ProjectPoint(at, player_.position)) player_.position = at;
  player_.velocity = {};
  player_.poly = 0;
  player_.chunks = static_cast<int>(rules_.playerChunks);
  player_.down = false;
  player_.rebuildAll = false;
  player_.lastHit = now_;
  player_.patrolRoute.clear();
  WritePlayer();
  return true;
}

// A downed player comes back at the start with a new pawn on the same controller (or, when
// someone destroyed a part of it, with everything new).
void Arena::RespawnPlayerPawn() {
  PlayerObjects& p = player_.objects;
  if (player_.rebuildAll) {
    for (UObject* part : {p.pawn, p.root, p.movement, p.controller, p.cameraManager, p.localPlayer})
      Discard(part);
    p = {};
    if (!SpawnPlayerObjects(level_.playerStart)) player_.downUntil = now_ + 1.0;
    return;
  }
  Discard(p.pawn);
  Discard(p.root);
  Discard(p.movement);
  const CharacterObjects c = SpawnCharacter(world_, g_, *g_.player, Numbered(L"Player", ++serial_),
                                            level_.playerStart, p.controller);
  p.pawn = c.pawn;
  p.root = c.root;
  p.movement = c.movement;
  if (!c.pawn) {
    player_.rebuildAll = true;  // try again with everything new
    player_.downUntil = now_ + 1.0;
    return;
  }
  if (!moveNav_.ProjectPoint(level_.playerStart, player_.position))
    player_.position = level_.playerStart;
  player_.poly = 0;
  player_.chunks = static_cast<int>(rules_.playerChunks);
  player_.down = false;
  player_.lastHit = now_;
  player_.patrolRoute.clear();
}

// Along the patrol, and away from the thugs inside the kite radius: the velocity it wants.
aps::Vec3 Arena::PlayerDirection() {
  const aps::Vec3& at = player_.position;
  aps::Vec3 away{};
  if (rules_.kiteSpeed > 0.0f && rules_.kiteRadius > 0.0f) {
    for (const ArenaThug& thug : thugs_) {
      if (thug.phase != ThugPhase::kAlive) continue;
      const float d = FloorDistance(at, thug.position);
      if (d < rules_.kiteRadius)
        away = Plus(away, Scaled(FloorDirection(thug.position, at), 1.0f - d / rules_.kiteRadius));
    }
  }
  const bool kiting = FloorLength(away) > 1e-3f;
  aps::Vec3 wanted = kiting ? Scaled(away, rules_.kiteSpeed / FloorLength(away)) : aps::Vec3{};
  // Kiting pushed it off its patrol route: back on patrol, it plans afresh from where it is.
  if (kiting) player_.patrolStale = true;
  if (rules_.patrolSpeed <= 0.0f || level_.patrol.empty()) return wanted;
  std::vector<aps::Vec3>& route = player_.patrolRoute;
  if (!route.empty() && player_.patrolNext >= route.size()) {
    // At a patrol point: it looks around for a while before it walks on.
    player_.patrolIndex = (player_.patrolIndex + 1) % level_.patrol.size();
    player_.pauseUntil = now_ + rules_.patrolPauseSeconds;
    route.clear();
  }
  if (now_ < player_.pauseUntil) return wanted;
  if (route.empty() || (player_.patrolStale && !kiting)) {
    route.clear();
    player_.patrolNext = 0;
    player_.patrolStale = false;
    if (!moveNav_.FindPath(at, level_.patrol[player_.patrolIndex], scratch_)) {
      player_.patrolIndex = (player_.patrolIndex + 1) % level_.patrol.size();
      return wanted;
    }
    for (const aps::NavPoint& p : scratch_) route.push_back(p.location);
  }
  while (player_.patrolNext < route.size() &&
         FloorDistance(at, route[player_.patrolNext]) <= rules_.arriveDistance)
    ++player_.patrolNext;
  if (player_.patrolNext >= route.size()) return wanted;
  return Plus(wanted, Scaled(FloorDirection(at, route[player_.patrolNext]), rules_.patrolSpeed));
}

// One step over the navmesh. A step that a wall or an obstacle mostly blocks is tried turned
// by 45, 90 and 135 degrees either way (a kiting player runs along the wall instead of into
// it); the turn that gets farthest wins.
aps::Vec3 Arena::WalkPlayer(const aps::Vec3& step) {
  const aps::Vec3 from = player_.position;
  const float wanted = FloorLength(step);
  if (wanted <= 0.0f) return from;
  aps::Vec3 best = from;
  dtPolyRef bestPoly = player_.poly;
  float bestGain = -1.0f;
  for (const float turn : {0.0f, 45.0f, -45.0f, 90.0f, -90.0f, 135.0f, -135.0f}) {
    const float a = turn / kDegrees;
    const aps::Vec3 s{step.x * std::cos(a) - step.y * std::sin(a),
                      step.x * std::sin(a) + step.y * std::cos(a), 0.0f};
    dtPolyRef poly = player_.poly;
    aps::Vec3 reached;
    if (!moveNav_.MoveAlongSurface(poly, from, Plus(from, s), reached)) continue;
    const float gain = FloorDistance(from, reached);
    if (gain > bestGain) best = reached, bestPoly = poly, bestGain = gain;
    if (gain >= 0.5f * wanted) break;
  }
  player_.poly = bestPoly;
  return best;
}

// How much the player minds a thug: none when it cannot notice it (beyond awareness, or behind
// its view and beyond hearing), else nearer and charging straight in count more.
float Arena::Threat(const ArenaThug& thug) const {
  const float d = FloorDistance(player_.position, thug.position);
  if (thug.phase != ThugPhase::kAlive || d > rules_.awarenessRadius) return -1.0f;
  const aps::Vec3 towards = FloorDirection(player_.position, thug.position);
  const bool seen = FloorLength(towards) == 0.0f ||
                    std::fabs(AngleBetween(player_.yaw, YawOf(towards))) <= rules_.viewHalfAngle;
  if (!seen && d > rules_.hearingRadius) return -1.0f;
  const float speed = FloorLength(thug.velocity);
  const float closing =
      speed > 1.0f ? -(thug.velocity.x * towards.x + thug.velocity.y * towards.y) / speed : 0.0f;
  const float nearness = rules_.awarenessRadius > 0.0f ? 1.0f - d / rules_.awarenessRadius : 1.0f;
  return nearness + rules_.approachThreat * std::max(0.0f, closing);
}

// Towards the most threatening thug it notices, else along its walk, at most turnRate per
// second.
void Arena::TurnPlayer(double seconds) {
  const ArenaThug* target = nullptr;
  float best = -1.0f;
  for (const ArenaThug& thug : thugs_) {
    const float threat = Threat(thug);
    if (threat >= 0.0f && threat >= best) target = &thug, best = threat;
  }
  float wanted;
  if (target)
    wanted = YawOf(FloorDirection(player_.position, target->position));
  else if (FloorLength(player_.velocity) > 1.0f)
    wanted = YawOf(player_.velocity);
  else
    return;
  const float turn = AngleBetween(player_.yaw, wanted);
  const float most = rules_.turnRate * static_cast<float>(seconds);
  player_.yaw = AngleBetween(0.0f, player_.yaw + std::clamp(turn, -most, most));
}

void Arena::UpdatePlayer(double seconds) {
  if (!player_.objects.pawn || player_.down) {
    player_.velocity = {};
    return;
  }
  const int most = static_cast<int>(rules_.playerChunks);
  if (player_.chunks < most && now_ - player_.lastHit >= rules_.recoverSeconds) {
    ++player_.chunks;
    player_.lastHit = now_;
    ++stats_.playerRecoveries;
  }
  const float dt = static_cast<float>(seconds);
  const aps::Vec3 from = player_.position;
  const aps::Vec3 reached = dt > 0.0f ? WalkPlayer(Scaled(PlayerDirection(), dt)) : from;
  player_.position = reached;
  player_.velocity =
      dt > 0.0f ? Scaled({reached.x - from.x, reached.y - from.y, 0.0f}, 1.0f / dt) : aps::Vec3{};
  TurnPlayer(seconds);
}

// Behind and above the player, pulled in front of whatever stands between: the boom is cast
// from above the player at the camera's height, so a clear view keeps the camera exactly where
// the rules put it.
aps::Vec3 Arena::CameraLocation() const {
  const float yaw = player_.yaw / kDegrees;
  const aps::Vec3 pivot{player_.position.x, player_.position.y,
                        player_.position.z + rules_.cameraHeight};
  const aps::Vec3 wanted{pivot.x - std::cos(yaw) * rules_.cameraDistance,
                         pivot.y - std::sin(yaw) * rules_.cameraDistance, pivot.z};
  return PullCameraIn(obstacles_, pivot, wanted);
}

void Arena::WritePlayer() {
  const PlayerObjects& p = player_.objects;
  if (!p.pawn) return;
  FieldAt<aps::Vec3>(p.root, fields_.location) = player_.position;
  FieldAt<aps::Vec3>(p.root, fields_.rotation) = {0.0f, player_.yaw, 0.0f};
  FieldAt<aps::Vec3>(p.movement, fields_.velocity) = player_.velocity;
  FieldAt<int32_t>(p.pawn, fields_.healthChunk) = player_.chunks;
  if (!p.cameraManager || !p.localPlayer) return;
  FieldAt<aps::Vec3>(p.cameraManager, fields_.viewLocation) = CameraLocation();
  FieldAt<aps::Vec3>(p.cameraManager, fields_.viewRotation) = {rules_.cameraPitch, player_.yaw,
                                                               0.0f};
  FieldAt<float>(p.cameraManager, fields_.fov) = rules_.cameraFov;
  FieldAt<uint8_t>(p.localPlayer, fields_.aspectRule) =
      static_cast<uint8_t>(rules_.aspectRatioAxisConstraint);
}

// One shot at the thug inside the cone that the player can see and minds most (the nearest
// when charging counts for nothing); a shot that may hit also hits the thugs standing close to
// its target.
void Arena::Shoot() {
  if (!player_.objects.pawn || player_.down || now_ < player_.nextShot) return;
  std::vector<std::pair<float, ArenaThug*>> inCone;
  for (ArenaThug& thug : thugs_) {
    if (thug.phase != ThugPhase::kAlive) continue;
    const float d = FloorDistance(player_.position, thug.position);
    const aps::Vec3 dir = FloorDirection(player_.position, thug.position);
    if (d > rules_.shotRange || FloorLength(dir) == 0.0f) continue;
    if (std::fabs(AngleBetween(player_.yaw, YawOf(dir))) <= rules_.coneHalfAngle)
      inCone.push_back({rules_.approachThreat > 0.0f ? -Threat(thug) : d, &thug});
  }
  std::sort(inCone.begin(), inCone.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  ArenaThug* target = nullptr;
  for (const auto& [d, thug] : inCone) {
    if (moveNav_.HasLineOfSight(player_.position, thug->position)) {
      target = thug;
      break;
    }
  }
  if (!target) return;
  player_.nextShot = now_ + rules_.fireSeconds;
  ++stats_.shotsFired;
  if (!(rng_.NextUnit() < HitChance(*target))) return;
  ++stats_.shotsHit;
  Damage(*target, rules_.shotDamage);
  for (ArenaThug& thug : thugs_) {
    if (&thug != target && thug.phase == ThugPhase::kAlive &&
        FloorDistance(thug.position, target->position) <= rules_.splashRadius)
      Damage(thug, rules_.splashDamage);
  }
}

// A thug running across the line of fire is harder to hit than one coming straight in.
float Arena::HitChance(const ArenaThug& thug) const {
  if (!(rules_.dodgeSpeed > 0.0f)) return rules_.hitChance;
  const aps::Vec3 sight = FloorDirection(player_.position, thug.position);
  const float across = std::fabs(thug.velocity.x * sight.y - thug.velocity.y * sight.x);
  return rules_.hitChance * std::max(0.0f, 1.0f - across / rules_.dodgeSpeed);
}

void Arena::Damage(ArenaThug& thug, float amount) {
  stats_.thugDamage += std::min(amount, std::max(0.0f, thug.health));
  thug.health -= amount;
  thug.fear += rules_.fearPerHit;
}

void Arena::HitPlayer(int chunks) {
  const int taken = std::min(chunks, player_.chunks);
  player_.chunks -= taken;
  player_.lastHit = now_;
  stats_.playerChunksLost += static_cast<uint64_t>(taken);
  if (player_.chunks > 0) return;
  player_.down = true;
  player_.downUntil = now_ + rules_.respawnSeconds;
  player_.velocity = {};
  ++stats_.playerDowns;
}

void Arena::PlacePlayer(const aps::Vec3& at, float yawDegrees) {
  if (!moveNav_.ProjectPoint(at, player_.position)) player_.position = at;
  player_.poly = 0;
  player_.yaw = yawDegrees;
  player_.patrolRoute.clear();
  WritePlayer();
}

}  // namespace kvr::sim
