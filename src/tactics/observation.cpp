#include "tactics/observation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kvr::tactics {

namespace {

// The bounds below keep a NaN a NaN (std::min and std::max would turn it into a bound): a game
// value that is not a number must reach Brain::Learn as one, which then refuses the episode,
// instead of passing for a full trip, a full health bar or full progress.

// lo when below lo, else min(hi, v); NaN stays NaN.
float Clamp(float v, float lo, float hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// min(hi, v) and max(lo, v) that keep NaN.
float AtMost(float v, float hi) {
  return v > hi ? hi : v;
}
float AtLeast(float v, float lo) {
  return v < lo ? lo : v;
}

float Dot2(const std::array<float, 2>& a, const std::array<float, 2>& b) {
  return a[0] * b[0] + a[1] * b[1];
}

constexpr float kDegToRad = 3.14159265358979f / 180.0f;

// Inputs 5 and 6: crowding near the start and on which side of the trip the others stand.
void AllyInputs(const ObservationInputs& in, Observation& o) {
  const std::array<float, 2> d = Direction2D(in.start, in.goal);
  // The side vector points to the left of the direction of travel.
  const std::array<float, 2> side = Direction2D(Vec3{}, Vec3{d[1], -d[0], 0.0f});
  int near = 0, flank = 0;
  float offsetSum = 0.0f;
  for (const Vec3& q : in.others) {
    const float dist = HorizontalDistance(in.start, q);
    if (dist <= 800.0f) ++near;
    if (dist <= 1500.0f) {
      const std::array<float, 2> rel{q.x - in.start.x, q.y - in.start.y};
      offsetSum += Clamp(Dot2(rel, side) / 400.0f, -1.0f, 1.0f);
      ++flank;
    }
  }
  o[5] = Clamp(static_cast<float>(near) / 6.0f, 0.0f, 1.0f);
  o[6] = flank > 0 ? Clamp(offsetSum / static_cast<float>(flank), -1.0f, 1.0f) : 0.0f;
}

}  // namespace

const char* ObservationLabel(int index) {
  static const char* const kLabels[kInputCount] = {
      "Trip length",      "Detour factor",    "Heading vs player", "Goal-to-player distance",
      "Player facing me", "Allies nearby",    "Ally side balance", "My health",
      "Weight class",     "Has attack token", "Player speed",      "Fear level"};
  return index >= 0 && index < kInputCount ? kLabels[index] : "";
}

float HorizontalDistance(const Vec3& a, const Vec3& b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  return std::sqrt(dx * dx + dy * dy);
}

std::array<float, 2> Direction2D(const Vec3& a, const Vec3& b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  const float sq = dx * dx + dy * dy;
  if (sq == 1.0f) return {dx, dy};
  if (sq < 1e-8f) return {0.0f, 0.0f};
  const float len = std::sqrt(sq);
  return {dx / len, dy / len};
}

Observation BuildObservation(const ObservationInputs& in) {
  Observation o{};
  const float d = HorizontalDistance(in.start, in.goal);
  o[0] = AtMost(d / 2500.0f, 1.5f);
  const float r = in.routeLength / AtLeast(d, 1.0f) - 1.0f;
  o[1] = r < 0.0f ? 0.0f : AtMost(r, 2.0f) * 0.5f;
  if (in.hasPlayer) {
    o[2] = Dot2(Direction2D(in.start, in.goal), Direction2D(in.start, in.player));
    o[3] = AtMost(HorizontalDistance(in.goal, in.player) / 1500.0f, 1.5f);
    const float yaw = in.playerYawDegrees * kDegToRad;
    o[4] = Dot2({std::cos(yaw), std::sin(yaw)}, Direction2D(in.player, in.start));
    o[10] = Clamp(in.playerSpeed / 600.0f, 0.0f, 1.5f);
  } else {
    o[3] = 1.5f;
  }
  AllyInputs(in, o);
  o[7] = Clamp(in.health / AtLeast(in.maxHealth, 1.0f), 0.0f, 1.0f);
  o[8] = Clamp(in.weightClass / 3.0f, 0.0f, 1.0f);
  o[9] = in.hasAggroToken ? 1.0f : 0.0f;
  o[11] = Clamp(in.fear / AtLeast(in.fearThreshold, 1.0f), 0.0f, 1.5f);
  return o;
}

int32_t EmptierSideStyle(float balance, int32_t controllerIndex, float tripDistance) {
  const bool left = std::fabs(balance) < 0.15f ? (controllerIndex % 2 == 0) : (balance < 0.0f);
  const bool wide = tripDistance > 1500.0f;
  if (left) return wide ? aps::kWideLeft : aps::kArcLeft;
  return wide ? aps::kWideRight : aps::kArcRight;
}

bool KeepsStyle(int32_t currentStyle, double decisionTime, const Vec3& lastGoal,
                const Vec3& newGoal, double now, const Settings& settings) {
  return currentStyle >= 0 && settings.StickySeconds > 0.0f &&
         now - decisionTime < static_cast<double>(settings.StickySeconds) &&
         HorizontalDistance(newGoal, lastGoal) < settings.StickyGoalRadius;
}

EpisodeScore ScoreEpisode(const EpisodeOutcome& e, const Settings& s) {
  EpisodeScore r;
  // A non-finite distance or health would read as full progress or full damage through the
  // bounds below; the episode is judged "not a number" instead, which Brain::Learn refuses.
  const float values[] = {e.startDistance,    e.currentDistance, e.healthAtStart,
                          e.maxHealthAtStart, e.currentHealth,   e.playerHitSum};
  for (float v : values) {
    if (!std::isfinite(v)) {
      r.raw = r.reward = std::numeric_limits<float>::quiet_NaN();
      return r;
    }
  }
  const float p = (e.startDistance - e.currentDistance) / std::max(50.0f, e.startDistance);
  r.progress = p < -1.0f ? -1.0f : std::min(1.0f, p);
  const float m =
      (e.healthAtStart - std::max(0.0f, e.currentHealth)) / std::max(1.0f, e.maxHealthAtStart);
  r.damage = m < 0.0f ? 0.0f : std::min(1.0f, m);
  r.hits = e.playerHitSum;
  r.spacing = e.spacingSamples > 0
                  ? static_cast<float>(e.spacedSamples) / static_cast<float>(e.spacingSamples)
                  : 1.0f;
  r.raw = s.WeightProgress * r.progress - s.WeightDamageTaken * r.damage +
          s.WeightPlayerHit * r.hits + s.WeightSpacing * (r.spacing - 0.5f);
  r.reward = 1.0f / (std::exp(-s.RewardSharpness * r.raw) + 1.0f);
  return r;
}

std::string FormatEpisodeLine(const std::string& reason, const std::string& pawnClass,
                              const std::string& styleName, const EpisodeScore& score, float loss) {
  char line[256];
  std::snprintf(line, sizeof line,
                "episode %s: %s style=%s progress=%.2f dmg=%.2f hits=%.2f spacing=%.2f -> reward "
                "%.3f (loss %.4f)",
                reason.c_str(), pawnClass.c_str(), styleName.c_str(), score.progress, score.damage,
                score.hits, score.spacing, score.reward, loss);
  return line;
}

}  // namespace kvr::tactics
