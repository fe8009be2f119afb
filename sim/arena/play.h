// `kvr-sim play`: the mod loaded as the mod host loads it, a match in the living arena run at
// simulated time as fast as the machine goes, and a summary of what happened.
//
// The mod reports episode ends only in its verbose log lines ("episode <reason>: ..."), so
// play makes sure the mod folder's config.ini has VerboseLog = 1 (see EnsureVerboseLog).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/arena/arena.h"
#include "sim/path_workers.h"
#include "sim/standin_host.h"

namespace kvr::sim {

struct PlayOptions {
  std::string level = "default";  // a level file, "default" or a shipped level's name
  std::string rules;              // empty = the rules beside the level
  int thugs = 12;
  double minutes = 5.0;  // simulated
  // Simulated frames per second; 0 keeps the rules file's frameSeconds. A cost per frame reads
  // differently at 30 and at 60 frames a second, so it can be set to the rate a player runs.
  double fps = 0.0;
  uint64_t seed = 1;
  std::string modDir;       // empty = no mod: thugs walk the engine's own routes
  std::string modBinary;    // empty = the module next to this program
  std::string navCacheDir;  // empty = DefaultNavMeshCacheDir(); "none" = always build
  // Engine threads that plan paths through the navmesh slot beside the game thread, at
  // kWorkerQueriesPerSecond of simulated time between them.
  int pathWorkers = 2;
  bool engineAllocator = true;  // false: the engine offers the mod no allocator (GMalloc null)
  // How the mod starts: loaded from its module and started at once; loaded, with the host's
  // first update and on_unreal_init left to a presenting window; or its code linked into this
  // program (StandInHost::StartLinked), which then shares the mod's menu state.
  enum class ModStart { kModule, kModuleByWindow, kLinked } modStart = ModStart::kModule;
  bool showRoutes = false;  // config.ini also gets ShowPathOverlay = 1 (for a picture)
};

inline constexpr double kWorkerQueriesPerSecond = 15.0;

struct PlayReport {
  std::string levelPath;
  std::string rulesPath;
  std::string configNote;  // what play did to config.ini (empty without a mod)
  bool navmeshFromCache = false;
  ArenaStats stats;
  double simulatedSeconds = 0;
  double wallSeconds = 0;  // measured, for the speed line only
  std::vector<std::string> modLines;
  std::vector<std::pair<std::string, int>> episodeEnds;  // by reason, the usual ones first
  int episodes = 0;
  PathWorkerCounts workers;
};

// False with a one-line reason when the level, the rules or the mod cannot be used.
bool RunPlay(const PlayOptions& options, PlayReport& report, std::string& error);

// A play run taken apart, for callers that drive the arena themselves (a match with progress
// and a report): Open sets up the level, the navmesh, the world, the mod and the arena; the
// caller runs the arena; Close stops the mod and fills the report. Not movable: the arena and
// the mod hold on to the world and the level.
struct PlaySession {
  Level level;
  NavMesh mesh;
  ArenaSetup setup;
  World world;
  GameClasses classes;
  std::unique_ptr<StandInHost> host;
  std::unique_ptr<Arena> arena;
  std::unique_ptr<PathWorkers> workers;  // engine threads planning beside the game thread

  PlaySession() = default;
  PlaySession(const PlaySession&) = delete;
  PlaySession& operator=(const PlaySession&) = delete;
};

// False with a one-line reason (the session is then unusable).
bool OpenPlay(const PlayOptions& options, PlaySession& session, PlayReport& report,
              std::string& error);
// Frames of the arena's frame length in `seconds` of simulated time, and running that many: the
// world ticks, then the mod host's own update, frame after frame.
long long PlayFrames(const PlaySession& session, double seconds);
void RunPlayFrames(PlaySession& session, long long frames);
// Stops the mod (it saves its brain and puts the engine's path functions back), takes the
// arena's statistics and every mod log line into the report, and shuts the world down.
void ClosePlay(PlaySession& session, PlayReport& report);

// The summary play prints; `allLines` lists every mod log line, not only the notable ones.
std::string PlaySummary(const PlayOptions& options, const PlayReport& report, bool allLines);

// Counts the mod's "episode <reason>: ..." lines by reason.
void CountEpisodeEnds(const std::vector<std::string>& lines, PlayReport& report);

// Makes sure <modDir>/config.ini asks for verbose lines (and with `showRoutes` for the route
// overlay). A missing file is written by the mod's own writer with the defaults and
// VerboseLog = 1 (ShowPathOverlay = 1); in an existing file only those lines are changed (or
// added to their sections), every other byte stays as the user left it. `note` tells what was
// done; false with a reason when the file cannot be written.
bool EnsureVerboseLog(const std::string& modDir, std::string& note, std::string& error,
                      bool showRoutes = false);

// The text edits behind EnsureVerboseLog: `text` with [General] VerboseLog set to 1, and with
// [section] key set to 1.
std::string WithVerboseLog(const std::string& text);
std::string WithSettingOn(const std::string& text, const std::string& section,
                          const std::string& key);
// [section] key set to `value`: the key's last line replaced, else a line added under the
// section's first header, else the section added at the end. Every other byte stays.
std::string WithSetting(const std::string& text, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace kvr::sim
