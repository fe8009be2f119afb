#include "game/episodes.h"

#include "game/game_runtime.h"
#include "game/thug_state.h"
#include "host/log.h"
#include "tactics/observation.h"

namespace kvr::game {

namespace {

// Positions of the other thugs that have a pawn and are alive, into the update's scratch list.
void CollectOthers(GameState& g, const TrackedThug& self) {
  g.otherThugs.clear();
  for (const TrackedThug* other : g.thugOrder) {
    if (other != &self && other->pawn && other->alive) g.otherThugs.push_back(other->position);
  }
}

tactics::Observation Observe(GameState& g, const TrackedThug& thug, const aps::Vec3& start,
                             const aps::Vec3& goal, float routeLength) {
  const PawnInputs pawn = ReadPawnInputs(thug.pawn);
  CollectOthers(g, thug);
  tactics::ObservationInputs in;
  in.start = start;
  in.goal = goal;
  in.routeLength = routeLength;
  in.hasPlayer = g.player.pawn != nullptr;
  in.player = g.player.position;
  in.playerYawDegrees = g.player.yaw;
  in.playerSpeed = g.player.speed;
  in.health = thug.health;
  in.maxHealth = thug.maxHealth;
  in.weightClass = pawn.weightClass;
  in.hasAggroToken = pawn.hasAggroToken;
  in.fear = pawn.fear;
  in.fearThreshold = pawn.fearThreshold;
  in.others = g.otherThugs;
  return tactics::BuildObservation(in);
}

void ClearEpisode(TrackedThug& t) {
  t.episodeActive = false;
  t.episodeStartTime = 0.0;
  t.episodeInputs = {};
  t.episodeStyle = 0;
  t.episodeGenome = -1;
  t.healthAtStart = 0.0f;
  t.maxHealthAtStart = 1.0f;
  t.episodeGoal = {};
  t.startDistance = 0.0f;
  t.playerHitSum = 0.0f;
  t.spacingSamples = 0;
  t.spacedSamples = 0;
}

}  // namespace

bool KeepStickyStyle(const Settings& s, const TrackedThug& thug, const aps::Vec3& goal,
                     double now) {
  return tactics::KeepsStyle(thug.currentStyle, thug.decisionTime, thug.lastGoal, goal, now, s);
}

void DecideApproachStyle(GameRuntime& rt, TrackedThug& thug, const aps::Vec3& start,
                         const aps::Vec3& goal, float routeLength, double now) {
  GameState& g = rt.game;
  const Settings& s = rt.gameSettings;
  RefreshThug(thug);
  EndEpisode(rt, thug, "re-plan");
  const tactics::Observation obs = Observe(g, thug, start, goal, routeLength);
  const bool network = s.NeuralTactics && thug.genomeIndex >= 0;
  int32_t style;
  if (network) {
    const tactics::StyleChoice choice = rt.brain.ChooseStyle(thug.genomeIndex, obs, thug.outputs);
    style = choice.style;
    thug.explored = choice.explored;
  } else {
    style = tactics::EmptierSideStyle(obs[6], thug.controllerIndex,
                                      tactics::HorizontalDistance(start, goal));
    thug.outputs = {};
    thug.explored = false;
  }
  thug.currentStyle = style;
  thug.decisionTime = now;
  ++g.styleDecisions;
  ClearEpisode(thug);
  if (!network) return;
  thug.episodeActive = true;
  thug.episodeStartTime = now;
  thug.episodeInputs = obs;
  thug.episodeStyle = style;
  thug.episodeGenome = thug.genomeIndex;
  thug.healthAtStart = thug.health;
  thug.maxHealthAtStart = thug.maxHealth;
  thug.episodeGoal = goal;
  thug.startDistance = tactics::HorizontalDistance(thug.position, goal);
}

void EndEpisode(GameRuntime& rt, TrackedThug& thug, const char* reason) {
  if (!thug.episodeActive) return;
  thug.episodeActive = false;
  tactics::EpisodeOutcome outcome;
  outcome.startDistance = thug.startDistance;
  outcome.currentDistance = tactics::HorizontalDistance(thug.position, thug.episodeGoal);
  outcome.healthAtStart = thug.healthAtStart;
  outcome.maxHealthAtStart = thug.maxHealthAtStart;
  outcome.currentHealth = thug.health;
  outcome.playerHitSum = thug.playerHitSum;
  outcome.spacingSamples = static_cast<int32_t>(thug.spacingSamples);
  outcome.spacedSamples = static_cast<int32_t>(thug.spacedSamples);
  const tactics::EpisodeScore score = tactics::ScoreEpisode(outcome, rt.gameSettings);
  const uint64_t refusedBefore = rt.brain.nonFiniteEpisodes;
  const float loss =
      rt.brain.Learn(thug.episodeGenome, thug.episodeInputs, thug.episodeStyle, score.reward);
  // An episode the brain refused (a non-finite game value) was not judged: the menu keeps the
  // thug's last real reward instead of showing "nan".
  if (rt.brain.nonFiniteEpisodes == refusedBefore) {
    thug.lastReward = score.reward;
    ++thug.episodeCount;
  }
  if (rt.gameSettings.VerboseLog) {
    Log(tactics::FormatEpisodeLine(reason, thug.pawnClassName, aps::Style(thug.episodeStyle).name,
                                   score, loss));
  }
}

}  // namespace kvr::game
