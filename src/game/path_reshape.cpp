#include "game/path_reshape.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "aps/horizontal.h"
#include "game/episodes.h"
#include "game/game_runtime.h"
#include "host/log.h"
#include "host/reflection.h"
#include "nav/engine_nav.h"
#include "nav/engine_records.h"
#include "nav/write_back.h"
#include "platform/steady_clock.h"

namespace kvr::game {

namespace {

using aps::ReshapeOutcome;

// The self-test takes an engine path's first point as proof of the layout only this close to
// where the query started.
constexpr float kSelfTestStartTolerance = 300.0f;
constexpr int32_t kSelfTestPassesNeeded = 3;
constexpr int32_t kSelfTestFailuresAllowed = 5;
constexpr const char* kSelfTestPassed =
    "path memory layout self-test PASSED on 3 live paths (start point matches the query) - "
    "reshaping enabled";
constexpr const char* kSelfTestFailed =
    "path memory layout self-test failed (5/5) - reshaping disabled, game paths untouched";

void Count(PathHookState& h, ReshapeOutcome outcome) {
  ++h.outcomes[static_cast<size_t>(outcome)];
}

// The tracked thug whose controller owns the query and still drives its recorded pawn; null
// otherwise (also for an excluded boss).
TrackedThug* QueryThug(GameState& g, const void* query) {
  const auto index = engine::ReadAt<int32_t>(query, engine::kQueryOwnerIndex);
  const auto byIndex = g.controllerByIndex.find(index);
  if (byIndex == g.controllerByIndex.end()) return nullptr;
  const auto it = g.thugs.find(byIndex->second);
  if (it == g.thugs.end() || it->second.excluded) return nullptr;
  TrackedThug& thug = it->second;
  host::UObject* pawn = nullptr;
  if (!host::ReadPointerProperty(thug.controller, L"Pawn", pawn) || !pawn || pawn != thug.pawn)
    return nullptr;
  return &thug;
}

// The live check of the path memory layout: a path whose first point sits where the query
// started proves the point array is where the mod reads it. Three passes enable reshaping;
// five failures before any pass disable it. Both are final. True once reshaping is enabled.
bool SelfTest(GameRuntime& rt, const aps::Vec3& first, const aps::Vec3& goal,
              const aps::Vec3& queryStart) {
  PathHookState& h = rt.game.pathHook;
  if (h.reshapingEnabled) return true;
  const float dx = first.x - queryStart.x, dy = first.y - queryStart.y, dz = first.z - queryStart.z;
  const bool pass = aps::IsFinite(first) && aps::IsFinite(goal) &&
                    std::sqrt(dx * dx + dy * dy + dz * dz) < kSelfTestStartTolerance;
  if (pass) {
    if (++h.selfTestPasses == kSelfTestPassesNeeded) {
      h.reshapingEnabled = true;
      Log(kSelfTestPassed);
    }
  } else if (++h.selfTestFailures >= kSelfTestFailuresAllowed && h.selfTestPasses == 0 &&
             !rt.reshapingDisabled) {
    rt.reshapingDisabled = true;
    rt.pathSafetyStatus = kSelfTestFailed;
    Log(kSelfTestFailed);
  }
  return h.reshapingEnabled;
}

// Keeps the style by the sticky rule or asks for a decision; the goal becomes the last goal.
void ChooseStyle(GameRuntime& rt, TrackedThug& thug, const aps::Vec3& first, const aps::Vec3& goal,
                 const aps::Route& engineRoute, double now) {
  if (KeepStickyStyle(rt.gameSettings, thug, goal, now)) {
    Count(rt.game.pathHook, ReshapeOutcome::kStickyReplan);
  } else {
    DecideApproachStyle(rt, thug, first, goal, aps::HorizontalRouteLength(engineRoute), now);
  }
  thug.lastGoal = goal;
}

void StoreRoute(TrackedThug& thug, const aps::Route& route) {
  thug.routePoints.resize(route.size());
  for (size_t i = 0; i < route.size(); ++i) thug.routePoints[i] = route[i].location;
}

// The hooked navmesh the query runs on, by its navigation-data id; null when none matches.
const NavMeshRecord* QueryNavMesh(const GameState& g, const void* query) {
  const auto id = engine::ReadAt<int32_t>(query, engine::kQueryNavDataId);
  for (const auto& [object, record] : g.navmeshes) {
    if (record.id == id && record.hooked && record.navmesh && record.savedFindPath) return &record;
  }
  return nullptr;
}

bool BudgetLeft(const GameState& g, const Settings& s) {
  return g.reshapesThisFrame < s.MaxReshapesPerFrame && g.builderMsThisFrame < s.FrameBudgetMs;
}

// Runs the arc builder on the engine's navigation and books its cost against the frame.
// Repeated questions of the build are answered by a memo instead of the engine.
bool BuildOnEngine(GameState& g, const EngineNavContext& context, const aps::Vec3& first,
                   const aps::Vec3& goal, const aps::ArcParams& params, aps::ArcStats& stats,
                   aps::NavRepeats& repeats, double& ms) {
  PathHookState& h = g.pathHook;
  stats = aps::ArcStats{};
  bool built = false;
  const double t0 = platform::SteadySeconds();
  WithEngineNav(context, [&](aps::INav& nav) {
    aps::NavMemo memo(nav, h.navMemo);
    built = aps::BuildArcRoute(memo, first, goal, params, h.newRoute, stats);
    repeats = memo.Repeats();
  });
  ms = (platform::SteadySeconds() - t0) * 1000.0;
  ++g.reshapesThisFrame;
  g.builderMsThisFrame += ms;
  h.totalBuildMs += ms;
  h.largestBuildMs = std::max(h.largestBuildMs, ms);
  h.totalNavQueries += stats.Queries();
  h.totalNavRepeats += repeats.Total();
  return built && h.newRoute.size() >= 2;
}

// The query count is the builder's; "from memory" says how many of them the engine never saw.
void LogReshaped(const TrackedThug& thug, const aps::Route& before, const aps::Route& after,
                 const aps::ArcStats& stats, const aps::NavRepeats& repeats, double ms) {
  char line[320];
  std::snprintf(line, sizeof line,
                "reshaped %s: %s, %d -> %d points, %.0f -> %.0f cm, %d queries, %d from memory, "
                "%.2f ms",
                thug.pawnClassName.c_str(), aps::Style(thug.currentStyle).name,
                static_cast<int>(before.size()), static_cast<int>(after.size()),
                aps::HorizontalRouteLength(before), aps::HorizontalRouteLength(after),
                stats.Queries(), repeats.Total(), ms);
  Log(line);
}

}  // namespace

aps::ArcParams MakeArcParams(const Settings& s, int style, const void* agent) {
  const aps::StyleInfo& info = aps::Style(style);
  aps::ArcParams p;
  p.strength = std::clamp(info.strength * s.ArcStrengthScale, -3.0f, 3.0f);
  p.humps = info.humps;
  p.amplitudeFraction = s.ArcAmplitude;
  const float radius = agent ? engine::ReadAt<float>(agent, engine::kAgentRadius) : 0.0f;
  p.agentRadius = radius > 1.0f && radius < 1000.0f ? radius : 34.0f;
  p.clearanceRadiusScale = s.ClearanceRadiusScale;
  p.clearanceProbes = s.ClearanceProbes;
  p.clearanceWeight = s.ScoreClearance;
  p.apexBendWeight = s.ScoreAngle;
  p.backwardsWeight = s.ScoreBack;
  p.wrongSidePenalty = s.ScoreWrongSide;
  p.multiSegmentFalloff = s.MultiSegmentFalloff;
  p.maxStretchFirst = s.MaxStretchFirstArc;
  p.maxStretchExtra = s.MaxStretchExtraArc;
  p.lineOfSightShortcuts = s.LineOfSightShortcuts ? 1 : 0;
  p.collinearDot = s.CollinearDot;
  p.checkRemovals = 1;
  return p;
}

void ReshapeFoundPath(GameRuntime& rt, void* result, const void* agent, const void* query) {
  GameState& g = rt.game;
  const CostSpan cost(g.frameCost);  // the hook's game-thread work belongs to the frame
  PathHookState& h = g.pathHook;
  const Settings& s = rt.gameSettings;
  ++h.hookCalls;
  if (!s.Enabled || rt.reshapingDisabled) return;
  void* const path = engine::ReadAt<void*>(result, engine::kResultPath);
  if (engine::ReadAt<int32_t>(result, engine::kResultCode) != engine::kResultSuccess || !path)
    return;
  TrackedThug* const thug = QueryThug(g, query);
  if (!thug) return;
  Count(h, ReshapeOutcome::kThugRequest);
  if (engine::PathIsPartial(path)) return Count(h, ReshapeOutcome::kPartial);

  const engine::PathPoints array = engine::ReadPathPoints(path);
  if (!array.Usable() || array.count < 2) return;
  // Resized first, then filled: a fault while copying leaves a whole vector behind.
  h.engineRoute.resize(static_cast<size_t>(array.count));
  std::memcpy(h.engineRoute.data(), array.points, h.engineRoute.size() * sizeof(aps::NavPoint));
  const aps::Vec3 first = h.engineRoute.front().location;
  const aps::Vec3 goal = h.engineRoute.back().location;
  if (!SelfTest(rt, first, goal, engine::ReadAt<aps::Vec3>(query, engine::kQueryStart))) return;

  const double now = platform::SteadySeconds();
  ChooseStyle(rt, *thug, first, goal, h.engineRoute, now);
  StoreRoute(*thug, h.engineRoute);
  thug->routeTime = now;
  thug->routeStyle = thug->currentStyle;
  thug->routeReshaped = false;

  if (!s.ArcPaths || thug->currentStyle < 1) return Count(h, ReshapeOutcome::kDirect);
  if (aps::HorizontalDistance(first, goal) < s.MinArcDistance)
    return Count(h, ReshapeOutcome::kTooShort);
  if (!BudgetLeft(g, s)) return Count(h, ReshapeOutcome::kBudget);

  const aps::ArcParams params = MakeArcParams(s, thug->currentStyle, agent);
  const NavMeshRecord* record = QueryNavMesh(g, query);
  if (!record) return;
  const EngineNavContext context =
      MakeEngineNavContext(g, *record, query, agent, thug->pawn, thug->controller);
  aps::ArcStats stats;
  aps::NavRepeats repeats;
  double ms = 0.0;
  if (!BuildOnEngine(g, context, first, goal, params, stats, repeats, ms) ||
      !WriteBackRoute(path, h.newRoute))
    return Count(h, ReshapeOutcome::kNoValidArc);

  Count(h, ReshapeOutcome::kReshaped);
  StoreRoute(*thug, h.newRoute);
  thug->routeReshaped = true;
  if (s.VerboseLog) LogReshaped(*thug, h.engineRoute, h.newRoute, stats, repeats, ms);
}

}  // namespace kvr::game
