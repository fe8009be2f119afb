// The APS arc builder: nine apex candidates per arc, the best one by ScoreCandidate, joined,
// string-pulled and thinned; weaves splice several arcs into the longest segments in turn.
#include "aps/arc_builder.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "aps/arc_score.h"
#include "aps/horizontal.h"
#include "aps/route_cleanup.h"

namespace kvr::aps {
namespace {

// Candidate order matters: on equal scores the earliest candidate is kept.
constexpr float kAlongT[3] = {0.4f, 0.5f, 0.6f};
constexpr float kOffsetM[3] = {1.0f, 0.7f, 0.45f};
// An apex target off the navmesh is pulled towards the straight line in two steps.
constexpr float kFallback[3] = {1.0f, 0.6f, 0.3f};
constexpr int kMaxHumps = 8;

NavPoint MakePoint(const Vec3& location) {
  NavPoint point;
  point.location = location;
  return point;
}

bool ProjectApex(INav& nav, const Vec3& base, const Vec3& side, float offset, ArcStats& stats,
                 Vec3& apex) {
  for (float scale : kFallback) {
    const float amount = offset * scale;
    const Vec3 target{base.x + side.x * amount, base.y + side.y * amount, base.z + side.z * amount};
    ++stats.projections;
    if (nav.ProjectPoint(target, apex)) return true;
  }
  return false;
}

// Index of the first point of the horizontally longest segment (earliest on ties), or -1
// when there is none or it is too short to bend.
int LongestSegment(const Route& route) {
  int best = -1;
  float bestLengthSq = 0.0f;
  for (size_t i = 0; i + 1 < route.size(); ++i) {
    const float lengthSq = HorizontalLengthSq(Sub(route[i + 1].location, route[i].location));
    if (best < 0 || lengthSq > bestLengthSq) {
      best = static_cast<int>(i);
      bestLengthSq = lengthSq;
    }
  }
  return best >= 0 && bestLengthSq > 0.0001f ? best : -1;
}

// Replaces the segment's end point route[segment + 1] by the piece minus its first point.
void SpliceHump(Route& route, int segment, const Route& piece) {
  const auto at = route.begin() + (segment + 1);
  *at = piece.back();
  route.insert(at, piece.begin() + 1, piece.end() - 1);
}

bool BuildSingleArc(INav& nav, const Vec3& start, const Vec3& end, const ArcParams& params,
                    Route& out, ArcStats& stats, ArcScratch& scratch) {
  ArcChoice& choice = scratch.choice;
  if (!BuildBestArc(nav, start, end, params.strength, params, choice, stats, scratch.legs))
    return false;
  JoinLegs(choice.leg1, choice.leg2, out);
  int apexIndex = static_cast<int>(choice.leg1.size()) - 1;
  if (params.lineOfSightShortcuts != 0) PullString(nav, out, apexIndex, stats);
  ThinCollinear(nav, out, apexIndex, params.collinearDot, params.checkRemovals != 0, stats);
  return out.size() >= 2;
}

bool BuildWeave(INav& nav, const Vec3& start, const Vec3& end, const ArcParams& params, Route& out,
                ArcStats& stats, ArcScratch& scratch) {
  out.push_back(MakePoint(start));
  out.push_back(MakePoint(end));
  int accepted = 0;
  for (int h = 0; h < params.humps; ++h) {
    const int segment = LongestSegment(out);
    if (segment < 0) break;
    const Vec3 a = out[segment].location;
    const Vec3 b = out[segment + 1].location;
    const float strength =
        h == 0 ? params.strength
               : params.strength * std::pow(params.multiSegmentFalloff, static_cast<float>(h));
    if (!BuildBestArc(nav, a, b, strength, params, scratch.choice, stats, scratch.legs)) break;
    JoinLegs(scratch.choice.leg1, scratch.choice.leg2, scratch.piece);
    if (scratch.piece.size() < 2) break;

    const float length = HorizontalRouteLength(scratch.piece);
    const float distance = HorizontalDistance(a, b);
    const float allowed = h == 0 ? params.maxStretchFirst : params.maxStretchExtra;
    if (distance > 0.0001f && length > distance * (1.0f + allowed)) {
      // Too long a detour: keep the route; the next, weaker hump usually tries this segment.
      ++stats.humpsRejectedStretch;
      continue;
    }
    SpliceHump(out, segment, scratch.piece);
    ++stats.humpsAccepted;
    ++accepted;
  }
  if (accepted == 0) return false;
  DropNearDuplicates(out);
  return out.size() >= 2;
}

ArcScratch& ThreadScratch() {
  thread_local ArcScratch scratch;
  return scratch;
}

}  // namespace

void JoinLegs(const Route& leg1, const Route& leg2, Route& out) {
  out.assign(leg1.begin(), leg1.end());
  auto from = leg2.begin();
  if (!leg1.empty() && !leg2.empty() &&
      WithinPerAxis(leg1.back().location, leg2.front().location, 1.0f))
    ++from;
  out.insert(out.end(), from, leg2.end());
}

bool BuildBestArc(INav& nav, const Vec3& a, const Vec3& b, float strength, const ArcParams& params,
                  ArcChoice& choice, ArcStats& stats, CandidateLegs& spare) {
  choice.leg1.clear();
  choice.leg2.clear();
  choice.score = -1e9f;
  if (!IsFinite(a) || !IsFinite(b) || !std::isfinite(strength) ||
      !std::isfinite(params.amplitudeFraction))
    return false;

  const Vec3 delta = Sub(b, a);
  const Vec3 dir = HorizontalUnit(delta);
  const Vec3 side = HorizontalUnit(Vec3{dir.y, -dir.x, 0.0f});  // left of travel (Y is right)
  const float sign = strength >= 0.0f ? 1.0f : -1.0f;
  const float distance = std::sqrt(HorizontalLengthSq(delta));
  const float amplitude =
      std::min(std::fabs(strength), 3.0f) * distance * params.amplitudeFraction * sign;

  bool haveBest = false;
  for (float t : kAlongT) {
    const Vec3 base{a.x + t * delta.x, a.y + t * delta.y, a.z + t * delta.z};
    for (float m : kOffsetM) {
      ++stats.candidatesTried;
      Vec3 apex;
      if (!ProjectApex(nav, base, side, m * amplitude, stats, apex)) continue;
      ++stats.pathSearches;
      if (!nav.FindPath(a, apex, spare.leg1) || spare.leg1.empty()) continue;
      ++stats.pathSearches;
      if (!nav.FindPath(apex, b, spare.leg2) || spare.leg2.empty()) continue;
      const ArcCandidate candidate{a, b, base, side, dir, sign, spare.leg1, spare.leg2};
      float score = 0.0f;
      if (!ScoreCandidate(nav, candidate, params, stats, score)) continue;
      ++stats.candidatesScored;
      if (haveBest && !(score > choice.score)) continue;  // the earlier candidate wins a tie
      haveBest = true;
      choice.score = score;
      std::swap(choice.leg1, spare.leg1);
      std::swap(choice.leg2, spare.leg2);
    }
  }
  if (!haveBest) return false;
  stats.bestScore = choice.score;
  return true;
}

bool BuildArcRoute(INav& nav, const Vec3& start, const Vec3& end, const ArcParams& params,
                   Route& out, ArcStats& stats, ArcScratch& scratch) {
  out.clear();
  if (!std::isfinite(params.strength) || std::fabs(params.strength) < 0.001f) return false;
  if (!IsFinite(start) || !IsFinite(end)) return false;
  if (WithinPerAxis(start, end, 0.0001f)) return false;

  ArcParams clamped = params;
  clamped.humps = std::clamp(params.humps, 1, kMaxHumps);
  // The mode follows the humps value as given; only the hump count is clamped.
  const bool built = params.humps < 2
                         ? BuildSingleArc(nav, start, end, clamped, out, stats, scratch)
                         : BuildWeave(nav, start, end, clamped, out, stats, scratch);
  if (!built) out.clear();
  return built;
}

bool BuildArcRoute(INav& nav, const Vec3& start, const Vec3& end, const ArcParams& params,
                   Route& out, ArcStats& stats) {
  return BuildArcRoute(nav, start, end, params, out, stats, ThreadScratch());
}

bool BuildBestArc(INav& nav, const Vec3& a, const Vec3& b, float strength, const ArcParams& params,
                  ArcChoice& choice, ArcStats& stats) {
  return BuildBestArc(nav, a, b, strength, params, choice, stats, ThreadScratch().legs);
}

}  // namespace kvr::aps
