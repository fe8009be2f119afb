#include "sim/arena/play.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>

#include "sim/nav/navmesh_cache.h"

namespace kvr::sim {

namespace {

constexpr const char* kEpisodePrefix = "[KorvathNeuralNav] episode ";
constexpr const char* kReshapedPrefix = "[KorvathNeuralNav] reshaped ";
// The reasons the game produces, in the order the summary lists them.
constexpr const char* kUsualReasons[] = {
    "re-plan",        "time",    "died", "new pawn", "controller gone", "controller destroyed",
    "pawn destroyed", "disabled"};

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

bool CheckOptions(const PlayOptions& o, std::string& error) {
  if (o.thugs < 0 || o.thugs > kMaxArenaThugs) {
    error = "--thugs must be 0.." + std::to_string(kMaxArenaThugs);
    return false;
  }
  if (!(o.minutes > 0.0) || o.minutes > 24 * 60.0) {
    error = "--minutes must be above 0 and at most a simulated day (1440)";
    return false;
  }
  // 0 keeps the rules' rate; anything else must be a rate the rules themselves could hold.
  if (o.fps != 0.0 && !(o.fps >= 4.0 && o.fps <= 1000.0)) {
    error = "--fps must be 4..1000 frames per second (0 keeps the rules' frameSeconds)";
    return false;
  }
  return true;
}

std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

// Engine threads planning for the arena's thugs beside the game thread; null with none asked.
std::unique_ptr<PathWorkers> StartPathWorkers(const PlayOptions& o, const Level& level,
                                              World& world, Arena& arena) {
  if (o.pathWorkers <= 0) return nullptr;
  PathWorkerOptions w;
  w.threads = o.pathWorkers;
  w.queriesPerFrame = kWorkerQueriesPerSecond * arena.Rules().frameSeconds;
  w.seed = static_cast<uint32_t>(o.seed);
  w.boundsMin = {level.floorMinX, level.floorMinY, level.floorZ};
  w.boundsMax = {level.floorMaxX, level.floorMaxY, level.floorZ};
  // The owners follow the arena's controllers as they come and go.
  w.listOwners = [&arena, &world](std::vector<int32_t>& owners) {
    for (const ArenaThug& t : arena.Thugs())
      if (t.controller) owners.push_back(world.GetInternalIndex(t.controller));
  };
  auto workers = std::make_unique<PathWorkers>(world, arena.NavMeshObject(), w);
  return workers;
}

bool StartMod(const PlayOptions& o, StandInHost& host, std::string& error) {
  switch (o.modStart) {
    case PlayOptions::ModStart::kLinked:
      return host.StartLinked(o.modDir, error);
    case PlayOptions::ModStart::kModuleByWindow:
      return host.Start(o.modDir, o.modBinary, error, false);
    case PlayOptions::ModStart::kModule:
      break;
  }
  return host.Start(o.modDir, o.modBinary, error);
}

}  // namespace

void CountEpisodeEnds(const std::vector<std::string>& lines, PlayReport& report) {
  std::map<std::string, int> counts;
  report.episodes = 0;
  for (const std::string& line : lines) {
    if (!StartsWith(line, kEpisodePrefix)) continue;
    const size_t from = std::char_traits<char>::length(kEpisodePrefix);
    const size_t colon = line.find(": ", from);
    if (colon == std::string::npos) continue;
    ++counts[line.substr(from, colon - from)];
    ++report.episodes;
  }
  report.episodeEnds.clear();
  for (const char* reason : kUsualReasons) {
    const auto it = counts.find(reason);
    if (it == counts.end()) continue;
    report.episodeEnds.push_back(*it);
    counts.erase(it);
  }
  for (const auto& entry : counts) report.episodeEnds.push_back(entry);
}

bool OpenPlay(const PlayOptions& o, PlaySession& session, PlayReport& r, std::string& error) {
  if (!CheckOptions(o, error)) return false;
  r.levelPath = ResolveLevelArgument(o.level);
  if (!LoadLevelFile(r.levelPath, session.level, error)) return false;
  r.rulesPath = o.rules.empty() ? RulesPathForLevel(r.levelPath) : o.rules;
  ArenaSetup& setup = session.setup;
  if (!LoadArenaRules(r.rulesPath, setup.rules, error)) return false;
  if (o.fps > 0.0) setup.rules.frameSeconds = static_cast<float>(1.0 / o.fps);
  const std::string cache = o.navCacheDir.empty()     ? DefaultNavMeshCacheDir()
                            : o.navCacheDir == "none" ? std::string()
                                                      : o.navCacheDir;
  if (!CachedNavMesh(session.level, {}, cache, session.mesh, r.navmeshFromCache, error))
    return false;
  if (!o.modDir.empty() && !EnsureVerboseLog(o.modDir, r.configNote, error, o.showRoutes))
    return false;

  session.classes = RegisterGameClasses(session.world);
  session.host = std::make_unique<StandInHost>(session.world);
  // The mod starts with the game, before the level is there, as under the mod host.
  if (!o.modDir.empty() && !StartMod(o, *session.host, error)) return false;
  setup.level = &session.level;
  setup.mesh = &session.mesh;
  setup.thugs = o.thugs;
  setup.seed = o.seed;
  session.arena = Arena::Create(session.world, session.classes, setup, error);
  if (!session.arena) return false;
  session.world.SetEngineAllocatorEnabled(o.engineAllocator);
  session.workers = StartPathWorkers(o, session.level, session.world, *session.arena);
  return true;
}

long long PlayFrames(const PlaySession& session, double seconds) {
  return std::llround(seconds / session.setup.rules.frameSeconds);
}

void RunPlayFrames(PlaySession& session, long long frames) {
  const double frame = session.setup.rules.frameSeconds;
  for (long long i = 0; i < frames; ++i) {
    session.world.Tick(frame);
    session.host->Update();  // the mod host's own update after every frame
  }
}

void ClosePlay(PlaySession& session, PlayReport& r) {
  // The engine threads stop first: every query handed out is answered while the mod is loaded.
  if (session.workers) {
    session.workers->Stop();
    r.workers = session.workers->Counts();
    session.workers.reset();
  }
  if (session.arena) {
    r.simulatedSeconds = session.arena->Now();
    r.stats = session.arena->Stats();
  }
  if (session.host) session.host->Stop();  // the mod saves its brain, puts the paths back
  session.arena.reset();
  r.modLines = LogLines(session.world);
  CountEpisodeEnds(r.modLines, r);
  session.world.Shutdown();
}

bool RunPlay(const PlayOptions& o, PlayReport& r, std::string& error) {
  PlaySession session;
  if (!OpenPlay(o, session, r, error)) return false;
  const auto started = std::chrono::steady_clock::now();
  RunPlayFrames(session, PlayFrames(session, o.minutes * 60.0));
  r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ClosePlay(session, r);
  return true;
}

std::string PlaySummary(const PlayOptions& o, const PlayReport& r, bool allLines) {
  const ArenaStats& s = r.stats;
  std::string out;
  out += "level: " + r.levelPath + (r.navmeshFromCache ? " (navmesh from cache)" : "") + "\n";
  out += "rules: " + r.rulesPath + "\n";
  out += std::to_string(o.thugs) + " thugs, " + Format("%.1f", r.simulatedSeconds / 60.0) +
         " simulated minutes, seed " + std::to_string(o.seed) + "\n";
  out += o.modDir.empty() ? std::string("mod: none (thugs walk the engine's own routes)\n")
                          : "mod: " + o.modDir + " (" + r.configNote + ")\n";
  out += "episodes ended: " + std::to_string(r.episodes);
  for (size_t i = 0; i < r.episodeEnds.size(); ++i)
    out +=
        (i ? ", " : " - ") + r.episodeEnds[i].first + " " + std::to_string(r.episodeEnds[i].second);
  out += "\n";
  out += "player: " + std::to_string(s.playerChunksLost) + " health chunks lost (" +
         std::to_string(s.meleeHits) + " melee hits), down " + std::to_string(s.playerDowns) +
         " times, " + std::to_string(s.playerRecoveries) + " chunks recovered\n";
  out += "thugs: " + std::to_string(s.thugDeaths) + " deaths, " + Format("%.0f", s.thugDamage) +
         " damage taken, " + std::to_string(s.shotsHit) + " of " + std::to_string(s.shotsFired) +
         " shots hit, " + std::to_string(s.controllersRemoved) + " controllers removed, " +
         std::to_string(s.pawnSwaps) + " pawns swapped\n";
  out += "routes: " + std::to_string(s.pathQueries) + " path queries through the navmesh slot, " +
         std::to_string(s.pathFailures) + " without a path\n";
  if (o.pathWorkers > 0) {
    out += "engine threads: " + std::to_string(r.workers.queries) +
           " path queries beside the game thread, " + std::to_string(r.workers.found) +
           " with a path, " + std::to_string(r.workers.differing) +
           " not as the engine made them\n";
  }
  int reshaped = 0;
  std::vector<const std::string*> notable;
  for (const std::string& line : r.modLines) {
    if (StartsWith(line, kReshapedPrefix)) ++reshaped;
    if (allLines || (!StartsWith(line, kReshapedPrefix) && !StartsWith(line, kEpisodePrefix)))
      notable.push_back(&line);
  }
  if (!o.modDir.empty()) {
    out += "mod log: " + std::to_string(r.modLines.size()) + " lines (" +
           std::to_string(r.episodes) + " episode ends, " + std::to_string(reshaped) +
           " reshaped routes)" + (allLines ? "" : "; the others:") + "\n";
    constexpr size_t kShown = 20;
    for (size_t i = 0; i < notable.size() && (allLines || i < kShown); ++i)
      out += "  " + *notable[i] + "\n";
    if (!allLines && notable.size() > kShown)
      out += "  ... " + std::to_string(notable.size() - kShown) + " more (--log prints them all)\n";
  }
  const double speed = r.wallSeconds > 0 ? r.simulatedSeconds / r.wallSeconds : 0.0;
  out += Format("speed: %.1f simulated seconds in %.2f s of wall time (%.0fx real time)\n",
                r.simulatedSeconds, r.wallSeconds, speed);
  return out;
}

}  // namespace kvr::sim
