#include "game/menu_publisher.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "game/game_runtime.h"
#include "game/thug_state.h"
#include "host/mod_state.h"
#include "tactics/observation.h"

namespace kvr::game {

namespace {

// Assigns in place, so the strings keep their capacity from one snapshot to the next.
void SetRow(StatusRow& row, const char* label, int32_t state, const char* text) {
  row.label.assign(label);
  row.state = state;
  row.text.assign(text);
}

void NavRows(const GameRuntime& rt, const MenuSnapshot& s, StatusRow* rows) {
  const GameState& g = rt.game;
  const bool accepted = g.acceptedFindPath.load(std::memory_order_relaxed) != nullptr;
  SetRow(rows[0], "Game executable build", accepted ? 1 : 0,
         !accepted      ? "waiting for a level with a navmesh"
         : s.exactBuild ? "exact build verified (FindPath at RVA 0x2CEA790, TestPath 0x2D01F50, "
                          "TestHierarchical 0x2D01B80, Raycast 0x2CF70E0)"
                        : "different build, same verified structure");
  char text[256];
  std::snprintf(text, sizeof text,
                "%d of %d navmeshes hooked (fingerprint: FindPath twice, 3 distinct code "
                "pointers, all inside the game's code section)",
                s.hookedCount, s.navmeshCount);
  SetRow(rows[1], "Navmesh path slots +0x2B8..+0x2D8",
         s.hookedCount > 0 ? 1 : (s.navmeshCount > 0 ? -1 : 0), text);
  // A process that stepped aside after the test passed must not read "passed".
  if (s.reshapingDisabled) {
    SetRow(rows[2], "Live path memory self-test", -1, s.pathSafetyStatus.c_str());
  } else if (s.selfTestPassed) {
    SetRow(rows[2], "Live path memory self-test", 1,
           "passed (path start == query start on 3 live paths)");
  } else {
    SetRow(rows[2], "Live path memory self-test", 0, "waiting for the first thug paths");
  }
  host::IHost* h = host::Host();
  const bool allocator = h && h->HasEngineAllocator();
  SetRow(rows[3], "Engine allocator (GMalloc) via UE4SS", allocator ? 1 : -1,
         allocator ? "found - routes may grow beyond the engine's original buffer"
                   : "missing - routes are only reshaped when they fit in place");
  const bool layouts = g.projectLayout.valid && g.raycastLayout.valid;
  SetRow(rows[4], "Navigation queries", layouts ? 1 : (g.navigationSystem ? -1 : 0),
         layouts ? "K2_ProjectPointToNavigation + NavigationRaycast parameter layouts read from "
                   "reflection"
                 : "not resolved yet");
  const bool extent = !g.queryExtentStatus.empty();
  SetRow(rows[5], "Query extent", extent ? 1 : 0, extent ? g.queryExtentStatus.c_str() : "waiting");
}

void GameRows(const MenuSnapshot& s, StatusRow* rows) {
  char text[160];
  if (s.tickAlive) {
    std::snprintf(text, sizeof text, "ReceiveTick-driven, %lld Hz",
                  static_cast<long long>(s.frameRate));
  }
  SetRow(rows[0], "Game-thread tick", s.tickAlive ? 1 : 0,
         s.tickAlive ? text : "waiting (menus do not tick)");
  std::snprintf(text, sizeof text, "%d AI controllers with pawns, %d with local avoidance on",
                s.thugsTracked, s.avoidanceOn);
  SetRow(rows[1], "Thugs tracked", s.thugsTracked > 0 ? 1 : 0, text);
  if (s.playerPresent)
    std::snprintf(text, sizeof text, "found, health chunks %d", s.playerHealthChunks);
  SetRow(rows[2], "Player", s.playerPresent ? 1 : 0, s.playerPresent ? text : "not in a level");
  SetRow(rows[3], "Brain", s.brainStatus.find("FAILED") != std::string::npos ? -1 : 1,
         s.brainStatus.c_str());
  std::snprintf(text, sizeof text, "%" PRIu64 " faults caught", s.totalFaults);
  SetRow(rows[4], "Crash guard", s.totalFaults > 0 ? -1 : 1, text);
}

void CopyHookFigures(const GameRuntime& rt, MenuSnapshot& s) {
  const GameState& g = rt.game;
  int32_t hooked = 0;
  for (const auto& [object, record] : g.navmeshes) hooked += record.hooked ? 1 : 0;
  s.navmeshCount = static_cast<int32_t>(g.navmeshes.size());
  s.hookedCount = hooked;
  s.exactBuild = g.exactBuild;
  s.selfTestPassed = g.pathHook.reshapingEnabled;
  s.reshapingDisabled = rt.reshapingDisabled;
  s.pathSafetyStatus.assign(rt.pathSafetyStatus);
  const PathHookState& p = g.pathHook;
  s.totalFaults = rt.totalFaults;
  s.hookCalls = p.hookCalls;
  s.outcomes = p.outcomes;
  s.largestBuildMs = p.largestBuildMs;
  const uint64_t attempts = p.outcomes[static_cast<int>(aps::ReshapeOutcome::kReshaped)] +
                            p.outcomes[static_cast<int>(aps::ReshapeOutcome::kNoValidArc)];
  s.averageBuildMs = attempts ? p.totalBuildMs / static_cast<double>(attempts) : 0.0;
  s.averageNavQueries = attempts ? p.totalNavQueries / static_cast<double>(attempts) : 0.0;
  s.styleDecisions = g.styleDecisions;
}

void CopyBrain(const GameRuntime& rt, MenuSnapshot& s) {
  const tactics::Brain& b = rt.brain;
  const tactics::BrainConfig& c = b.config;
  s.layerSizes.clear();
  s.layerSizes.push_back(tactics::kInputCount);
  s.layerSizes.push_back(c.hiddenLayer1);
  if (c.hiddenLayer2 > 0) s.layerSizes.push_back(c.hiddenLayer2);
  s.layerSizes.push_back(tactics::kStyleCount);
  s.totalEpisodes = b.totalEpisodes;
  s.generation = static_cast<int32_t>(b.generation);
  s.explorationRate = b.ExplorationRate();
  s.replaySize = b.replay.size();
  s.averageLoss = b.averageLoss;
  s.nonFiniteEpisodes = b.nonFiniteEpisodes;
  s.genomes.resize(b.genomes.size());
  for (size_t i = 0; i < b.genomes.size(); ++i) {
    const tactics::Genome& genome = b.genomes[i];
    s.genomes[i] = {static_cast<int32_t>(i), genome.bornGeneration, genome.episodes, genome.users,
                    genome.fitness};
  }
  for (int i = 0; i < aps::kStyleCount; ++i)
    s.styles[i] = {b.styleStats[i].episodes, b.styleStats[i].rewardSum};
}

void FillThugRow(const TrackedThug& t, const PlayerCache& player, double now, ThugRow& row) {
  row.pawnClassName.assign(t.pawnClassName);
  row.genome = t.genomeIndex;
  row.episodes = t.episodeCount;
  row.boss = t.isBoss;
  row.currentStyle = t.currentStyle;
  row.explored = t.explored;
  row.outputs = t.outputs;
  row.lastReward = t.lastReward;
  row.episodeActive = t.episodeActive;
  row.episodeStyle = t.episodeActive ? t.episodeStyle : -1;
  row.episodeSeconds = t.episodeActive ? static_cast<float>(now - t.episodeStartTime) : 0.0f;
  row.playerHitSum = t.playerHitSum;
  row.healthFraction = t.health / std::max(1.0f, t.maxHealth);
  row.distanceToPlayer =
      player.pawn ? tactics::HorizontalDistance(t.position, player.position) : 0.0f;
}

void CopyThugs(const GameState& g, double now, MenuSnapshot& s) {
  size_t n = 0;
  int32_t avoidance = 0;
  for (const auto& [controller, t] : g.thugs) {
    if (!t.pawn) continue;
    if (s.thugs.size() <= n) s.thugs.emplace_back();
    FillThugRow(t, g.player, now, s.thugs[n++]);
    avoidance += t.avoidanceApplied ? 1 : 0;
  }
  s.thugs.resize(n);
  std::sort(s.thugs.begin(), s.thugs.end(), [](const ThugRow& a, const ThugRow& b) {
    return a.distanceToPlayer < b.distanceToPlayer;
  });
  s.thugsTracked = static_cast<int32_t>(n);
  s.avoidanceOn = avoidance;
}

float Distance3D(const aps::Vec3& a, const aps::Vec3& b) {
  const float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Recent routes of the thugs near enough to the camera (all of them without a valid camera).
void CopyRoutes(const GameState& g, const Settings& settings, double now, MenuSnapshot& s) {
  size_t n = 0;
  for (const auto& [controller, t] : g.thugs) {
    if (!t.pawn || t.routePoints.size() < 2 || now - t.routeTime > kRouteLineMaxAge) continue;
    if (s.camera.valid && Distance3D(s.camera.location, t.position) > settings.OverlayMaxDistance)
      continue;
    if (s.routes.size() <= n) s.routes.emplace_back();
    RouteLine& line = s.routes[n++];
    line.points.assign(t.routePoints.begin(), t.routePoints.end());
    line.style = std::clamp(t.routeStyle, 0, aps::kStyleCount - 1);
    const aps::StyleInfo& style = aps::Style(line.style);
    line.colour = style.colour;
    line.label.assign(style.name);
    if (!t.routeReshaped) line.label.append(" (engine)");
    line.reshaped = t.routeReshaped;
  }
  s.routes.resize(n);
}

}  // namespace

void BuildMenuSnapshot(GameRuntime& rt, double now, MenuSnapshot& s) {
  GameState& g = rt.game;
  s.time = now;
  s.tickAlive = now - g.lastUpdate < 1.0;
  s.frameRate = g.frameRate;
  s.gameThreadCost = g.frameCost.Window(g.frameCostTicks.NanosecondsPerTick());
  CopyHookFigures(rt, s);
  s.playerPresent = g.player.pawn != nullptr;
  s.playerHealthChunks = g.player.healthChunkBaseline;
  CopyBrain(rt, s);
  CopyThugs(g, now, s);
  s.brainStatus.assign(rt.brainStatus);
  s.configStatus.assign(rt.configStatus);
  s.statusRows.resize(11);
  NavRows(rt, s, &s.statusRows[0]);
  GameRows(s, &s.statusRows[6]);
  if (rt.gameSettings.ShowPathOverlay) {
    s.camera = ReadCamera(g);
    CopyRoutes(g, rt.gameSettings, now, s);
  } else {
    s.camera = CameraView{};
    s.routes.clear();
  }
}

void PublishMenuSnapshot(GameRuntime& rt, double now) {
  GameState& g = rt.game;
  if (!g.spareSnapshot) g.spareSnapshot = std::make_shared<MenuSnapshot>();
  BuildMenuSnapshot(rt, now, *g.spareSnapshot);
  g.publishedSnapshot = g.spareSnapshot.get();
  std::shared_ptr<const MenuSnapshot> previous = std::move(g.spareSnapshot);
  ModState& state = ModState::Get();
  bool reusable = false;
  {
    std::lock_guard<std::mutex> lock(state.settingsLock);
    state.snapshot.swap(previous);
    // Out of ModState now, so nobody can take a new reference to it. The render thread takes
    // and drops its copies only under this lock, and reads a snapshot only between those
    // sections; a count of one read here, under the lock, therefore comes after its last read
    // of this snapshot (the lock's acquire pairs with the release of its unlock). The count
    // itself is a relaxed read: read after the lock is released, it would order nothing, and
    // the refill below could overwrite strings the render thread is still drawing.
    reusable = previous && previous.get() == g.previousSnapshot && previous.use_count() == 1;
  }
  // The one this game thread made last time, held by nobody else: refilled next time.
  if (reusable) g.spareSnapshot = std::const_pointer_cast<MenuSnapshot>(std::move(previous));
  g.previousSnapshot = g.publishedSnapshot;
}

}  // namespace kvr::game
