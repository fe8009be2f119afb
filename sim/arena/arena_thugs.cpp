// Thugs: goal slots around the player, route planning through the navmesh's FindPath slot,
// walking the returned points with local avoidance and crowding, attack tokens and melee.
#include <algorithm>
#include <cmath>

#include "sim/arena/arena.h"
#include "sim/arena/arena_support.h"
#include "sim/path_finding.h"

namespace kvr::sim {

// Each thug has its own bearing around the player, so a full pack surrounds it; token holders
// close in to attack, the others wait on a wider ring.
aps::Vec3 Arena::SlotPosition(const ArenaThug& thug) const {
  constexpr float kTurn = 6.2831853f;
  const float bearing = kTurn * static_cast<float>(thug.slot) / static_cast<float>(thugCount_);
  const float radius = thug.token ? rules_.attackRadius : rules_.waitRadius;
  const aps::Vec3& p = player_.position;
  return {p.x + radius * std::cos(bearing), p.y + radius * std::sin(bearing), p.z};
}

// The slot pulled in towards the player until it stands on the navmesh in the player's sight
// (a slot inside a pillar or behind a wall would send the thug the long way round).
aps::Vec3 Arena::ReachableSlot(const aps::Vec3& slot) {
  const aps::Vec3& p = player_.position;
  for (const float f : {1.0f, 0.75f, 0.5f, 0.25f}) {
    const aps::Vec3 c{p.x + (slot.x - p.x) * f, p.y + (slot.y - p.y) * f, p.z};
    aps::Vec3 q;
    if (moveNav_.ProjectPoint(c, q) && moveNav_.HasLineOfSight(p, q)) return q;
  }
  return p;
}

// The last stretch of an attack needs no route: the player is in sight and close.
bool Arena::ClosesIn(const ArenaThug& thug) {
  return thug.token && rules_.closeInDistance > 0.0f && thug.planned &&
         FloorDistance(thug.position, player_.position) <= rules_.closeInDistance &&
         moveNav_.HasLineOfSight(thug.position, player_.position);
}

void Arena::MaybePlan(ArenaThug& thug) {
  thug.closingIn = ClosesIn(thug);
  if (thug.closingIn) return;
  const double since = now_ - thug.lastPlan;
  if (since < rules_.replanMinSeconds) return;
  const aps::Vec3 slot = SlotPosition(thug);
  const aps::Vec3 end = thug.route.empty() ? thug.plannedSlot : thug.route.back();
  const bool arrived =
      thug.planned && FloorDistance(thug.position, end) <= 2 * rules_.arriveDistance;
  // An attacker chases the player closely; the others keep their place in the ring loosely,
  // and a thug still far from its slot lets the slot drift in proportion: the route it walks
  // still leads to the player's side, and it settles the rest when it comes closer.
  const float fixed = thug.token ? rules_.attackGoalMoveDistance : rules_.goalMoveDistance;
  const float tolerance =
      std::max(fixed, rules_.goalMoveFraction * FloorDistance(thug.position, thug.plannedSlot));
  const bool due = !thug.planned || FloorDistance(slot, thug.plannedSlot) > tolerance ||
                   (since >= rules_.replanSeconds && !arrived);
  if (due) Plan(thug);
}

// Asks the navmesh's FindPath slot, as the engine's path following does, with the controller
// as the query's owner and the path object the thug follows as the instance to refill; the
// route is what the path object holds after the call.
void Arena::Plan(ArenaThug& thug) {
  const aps::Vec3 slot = SlotPosition(thug);
  thug.planned = true;
  thug.lastPlan = now_;
  thug.plannedSlot = slot;
  thug.route.clear();
  thug.nextPoint = 0;
  ++stats_.pathQueries;
  const aps::Vec3 goal = ReachableSlot(slot);
  if (!navmesh_ || !thug.controller ||
      !RunRePlanQuery(world_, navmesh_,
                      MakePathQuery(world_, thug.controller, navmesh_, thug.position, goal),
                      thug.path, scratch_)) {
    ++stats_.pathFailures;
    return;
  }
  for (const aps::NavPoint& p : scratch_) thug.route.push_back(p.location);
}

// With RVO avoidance on, a walking thug turns away from the neighbours inside its consideration
// radius, the more the closer they are, scaled by its avoidance weight.
aps::Vec3 Arena::Steer(const ArenaThug& thug, const aps::Vec3& desired) const {
  const float speed = FloorLength(desired);
  UObject* movement = thug.body.movement;
  if (speed <= 0.0f || !GetFlag(movement, fields_.useRvo)) return desired;
  const float radius = FieldAt<float>(movement, fields_.rvoRadius);
  const float weight = FieldAt<float>(movement, fields_.rvoWeight);
  if (!(radius > 0.0f) || !(weight > 0.0f)) return desired;
  aps::Vec3 push{};
  for (const ArenaThug& other : thugs_) {
    if (&other == &thug || other.phase != ThugPhase::kAlive) continue;
    const float d = FloorDistance(thug.position, other.position);
    if (d >= radius) continue;
    // Two thugs on the same spot part by their slots, so they never push the same way.
    aps::Vec3 away = FloorDirection(other.position, thug.position);
    if (FloorLength(away) == 0.0f) away = {other.slot < thug.slot ? 1.0f : -1.0f, 0.0f, 0.0f};
    push = Plus(push, Scaled(away, 1.0f - d / radius));
  }
  const aps::Vec3 heading =
      Plus(Scaled(desired, 1.0f / speed), Scaled(push, rules_.avoidanceSteering * weight));
  const float len = FloorLength(heading);
  return len > 1e-4f ? Scaled(heading, speed / len) : aps::Vec3{};
}

// Thugs packed together get in each other's way.
float Arena::CrowdFactor(const ArenaThug& thug) const {
  int near = 0;
  for (const ArenaThug& other : thugs_) {
    if (&other != &thug && other.phase == ThugPhase::kAlive &&
        FloorDistance(thug.position, other.position) < rules_.crowdRadius)
      ++near;
  }
  return std::max(rules_.crowdMinFactor, 1.0f - rules_.crowdSlowdown * static_cast<float>(near));
}

void Arena::UpdateThug(ArenaThug& thug, double seconds) {
  MaybePlan(thug);
  while (thug.nextPoint < thug.route.size() &&
         FloorDistance(thug.position, thug.route[thug.nextPoint]) <= rules_.arriveDistance)
    ++thug.nextPoint;
  const float dt = static_cast<float>(seconds);
  const float speed = FieldAt<float>(thug.body.movement, fields_.maxWalkSpeed);
  aps::Vec3 step{};
  const bool walking = thug.closingIn || thug.nextPoint < thug.route.size();
  if (walking && dt > 0.0f) {
    const aps::Vec3 target = thug.closingIn ? SlotPosition(thug) : thug.route[thug.nextPoint];
    const aps::Vec3 desired = Scaled(FloorDirection(thug.position, target), speed);
    step = Scaled(Steer(thug, desired), CrowdFactor(thug) * dt);
    // A thug walking straight at its next point stops on it rather than beyond.
    const float left = FloorDistance(thug.position, target);
    if (FloorLength(step) > left && !GetFlag(thug.body.movement, fields_.useRvo))
      step = Scaled(step, left / FloorLength(step));
  }
  const aps::Vec3 from = thug.position;
  aps::Vec3 reached = from;
  if (FloorLength(step) > 0.0f &&
      !moveNav_.MoveAlongSurface(thug.poly, from, Plus(from, step), reached))
    reached = from;
  thug.position = reached;
  thug.velocity =
      dt > 0.0f ? Scaled({reached.x - from.x, reached.y - from.y, 0.0f}, 1.0f / dt) : aps::Vec3{};
  thug.yaw = FloorLength(thug.velocity) > 1.0f ? YawOf(thug.velocity)
                                               : YawOf(FloorDirection(reached, player_.position));
  Melee(thug);
}

void Arena::Melee(ArenaThug& thug) {
  if (!thug.token || player_.down || rules_.meleeChunks <= 0.0f || now_ < thug.nextMelee) return;
  if (FloorDistance(thug.position, player_.position) > rules_.meleeRange) return;
  thug.nextMelee = now_ + rules_.meleeSeconds;
  ++stats_.meleeHits;
  HitPlayer(static_cast<int>(rules_.meleeChunks));
}

// Holders keep their token while alive and unafraid; free tokens go to the nearest thugs that
// are neither.
void Arena::AssignTokens() {
  const auto afraid = [&](const ArenaThug& t) {
    return t.fear >= rules_.thugs[t.kind].fearThreshold;
  };
  int held = 0;
  for (ArenaThug& thug : thugs_) {
    if (thug.token && (thug.phase != ThugPhase::kAlive || afraid(thug))) thug.token = false;
    held += thug.token ? 1 : 0;
  }
  while (held < static_cast<int>(rules_.tokenCount)) {
    ArenaThug* best = nullptr;
    float bestDistance = 0.0f;
    for (ArenaThug& thug : thugs_) {
      if (thug.phase != ThugPhase::kAlive || thug.token || afraid(thug)) continue;
      const float d = FloorDistance(thug.position, player_.position);
      if (!best || d < bestDistance) best = &thug, bestDistance = d;
    }
    if (!best) break;
    best->token = true;
    ++held;
  }
}

void Arena::WriteThug(ArenaThug& thug) {
  UObject* pawn = thug.body.pawn;
  if (!pawn) return;
  const bool alive = thug.phase == ThugPhase::kAlive;
  FieldAt<float>(pawn, fields_.health) = std::max(0.0f, thug.health);
  SetFlag(pawn, fields_.alive, alive);
  SetFlag(pawn, fields_.aggroToken, thug.token);
  FieldAt<float>(pawn, fields_.fear) = thug.fear;
  FieldAt<aps::Vec3>(thug.body.root, fields_.location) = thug.position;
  FieldAt<aps::Vec3>(thug.body.root, fields_.rotation) = {0.0f, thug.yaw, 0.0f};
  FieldAt<aps::Vec3>(thug.body.movement, fields_.velocity) = thug.velocity;
}

void Arena::KillThug(ArenaThug& thug) {
  thug.phase = ThugPhase::kDead;
  thug.phaseEnds = now_ + rules_.thugRespawnSeconds;
  thug.health = 0.0f;
  thug.token = false;
  thug.velocity = {};
  thug.route.clear();
  ++stats_.thugDeaths;
}

}  // namespace kvr::sim
