// The arena's rules: every number the living arena plays by (speeds, ranges, damage, timers,
// counts, rates) comes from a JSON file beside the level ("<level>.rules.json"), never from
// code, so the game can be tuned without a rebuild.
//
// The file is a set of sections of named numbers; every rule must be present, unknown names
// are refused (a typo would otherwise silently keep a default), and each value must lie in its
// range. data/levels/README.md describes every rule; RuleNames lists them.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kvr::sim {

// The three kinds of thug: controller class and pawn class go together.
enum ThugKind : int { kBaseThug = 0, kArmedThug = 1, kBossThug = 2, kThugKindCount = 3 };

struct ThugClassRules {
  float share = 0;          // relative share of thugs of this kind
  float speed = 0;          // walking speed, cm/s
  float health = 0;         // Health and MaxHealth at spawn
  float weightClass = 0;    // ThisAIWeightClassIndex (whole number)
  float fearThreshold = 0;  // DangerFearDodgingTreshold: fear at which the thug gives up its token
};

struct ArenaRules {
  float frameSeconds = 0;  // simulated seconds per frame
  ThugClassRules thugs[kThugKindCount];

  // planning: when a thug asks the navmesh for a new route
  float replanSeconds = 0;     // a thug not yet at its goal re-plans this often
  float replanMinSeconds = 0;  // and never sooner than this after its last plan
  float goalMoveDistance = 0;  // re-plan when its goal moved this far (cm) from the planned one
  float attackGoalMoveDistance = 0;  // the same for a token holder
  // ... or, when farther, this fraction of its distance to the planned slot: a thug far from
  // the player does not turn for every step the player takes (0 = the fixed distances only)
  float goalMoveFraction = 0;
  float arriveDistance = 0;  // a route point counts as reached this close (cm)
  // A token holder this close (cm) to the player, in its sight, walks straight at its slot
  // without asking the navmesh again, as engine AI closes the last stretch to a target it sees
  // (0 = it always plans).
  float closeInDistance = 0;

  // slots: goals around the player
  float attackRadius = 0;  // distance of a token holder's slot from the player (cm)
  float waitRadius = 0;    // distance of every other thug's slot (cm)

  // crowding and local avoidance
  float crowdRadius = 0;        // other thugs this close (cm) slow a thug down
  float crowdSlowdown = 0;      // speed lost per such neighbour (fraction)
  float crowdMinFactor = 0;     // never slower than this fraction of its speed
  float avoidanceOn = 0;        // the engine's bUseRVOAvoidance at spawn (0 or 1)
  float avoidanceRadius = 0;    // the engine's AvoidanceConsiderationRadius at spawn (cm)
  float avoidanceWeight = 0;    // the engine's AvoidanceWeight at spawn
  float avoidanceSteering = 0;  // how hard avoidance turns a walking thug (times its weight)

  // tokens and fear
  float tokenCount = 0;    // at most this many thugs hold HasAggroToken (whole number)
  float tokenSeconds = 0;  // tokens are handed out this often
  float fearPerHit = 0;    // CurrentDangerFearValue added by a hit
  float fearDecay = 0;     // fear lost per second

  // melee: token holders hitting the player
  float meleeRange = 0;    // cm, horizontal
  float meleeSeconds = 0;  // between two hits of one thug
  float meleeChunks = 0;   // CurrentHealthChunk taken per hit (whole number)

  // the player
  float playerChunks = 0;        // CurrentHealthChunk at spawn (whole number)
  float patrolSpeed = 0;         // cm/s along the level's patrol points (0 = no patrol)
  float patrolPauseSeconds = 0;  // standing at each patrol point before walking on
  float kiteSpeed = 0;        // cm/s away from thugs within the kite radius, on top of the patrol
  float kiteRadius = 0;       // cm
  float turnRate = 0;         // degrees per second towards the nearest threat
  float awarenessRadius = 0;  // thugs within this distance (cm) count as threats
  float viewHalfAngle = 180;  // ... when inside this many degrees either side of its facing
  float hearingRadius = 0;    // ... or this close (cm), seen or not
  // Which threat it turns to: the one with the highest (1 - distance / awarenessRadius) plus this
  // times its closing fraction (its speed towards the player over its speed, 0 when not closing):
  // 0 = the nearest; higher = a thug charging straight in draws the player's eye first.
  float approachThreat = 0;
  float recoverSeconds = 0;  // one chunk back after this long without a hit
  float respawnSeconds = 0;  // a downed player comes back after this long

  // shooting into the frontal cone
  float coneHalfAngle = 0;  // degrees either side of the facing direction
  float shotRange = 0;      // cm
  float fireSeconds = 0;    // between two shots
  float hitChance = 0;      // 0..1
  // A thug crossing the line of fire is harder to hit: the chance is scaled by
  // max(0, 1 - its speed across the line of sight / dodgeSpeed) (0 = no such scaling).
  float dodgeSpeed = 0;
  float shotDamage = 0;    // health taken from the thug hit
  float splashRadius = 0;  // thugs this close (cm) to the one hit also take
  float splashDamage = 0;  // this much

  // the camera that follows the player
  float cameraDistance = 0;             // cm behind the player
  float cameraHeight = 0;               // cm above the player
  float cameraPitch = 0;                // degrees (negative looks down)
  float cameraFov = 0;                  // degrees
  float aspectRatioAxisConstraint = 0;  // the local player's enumeration value

  // life cycle of thugs and controllers
  float thugRespawnSeconds = 0;  // a dead thug's controller gets a new pawn after this long
  float garbageSeconds = 0;      // destroyed actors are freed (delete notices) this much later
  float controllerChurnPerMinute = 0;  // controllers destroyed per simulated minute (on average)
  float pawnSwapsPerMinute = 0;        // live pawns replaced by fresh ones per minute (on average)
  float newControllerSeconds = 0;      // a destroyed controller's successor appears this much later
};

// Parses and checks a rules file; false with a one-line reason naming the rule.
bool ParseArenaRules(std::string_view json, ArenaRules& out, std::string& error);
bool LoadArenaRules(const std::string& path, ArenaRules& out, std::string& error);

// Every rule's name as the file spells it ("player.kiteSpeed", "thugs.boss.speed", ...).
std::vector<std::string> RuleNames();

// The rules that go with a level file: "<dir>/<name>.rules.json" when that exists, else the
// shipped arena rules.
std::string RulesPathForLevel(const std::string& levelPath);

}  // namespace kvr::sim
