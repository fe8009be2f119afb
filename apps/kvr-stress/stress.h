// The stress run: the mod linked into this program and started the way the mod host starts it,
// on the living arena, with every thread the game has at once - the game thread ticking the
// per-frame update (thugs planning, routes reshaped), engine threads planning through the
// hooked navmesh slots, a thread that destroys and creates thugs, and a render thread that
// copies the menu snapshot and the settings, draws the menu and the route overlay, raises the
// menu's requests and flips the master switch. Made to run under ThreadSanitizer
// (scripts/stress.sh); the checks at the end look at what happened, not only at survival.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kvr::stress {

struct StressOptions {
  double seconds = 30.0;  // wall time under load
  int thugs = 12;         // arena thugs
  uint64_t seed = 1;
  std::string level = "default";
  std::string modDir;  // empty = a fresh temporary folder, removed afterwards
};

struct StressReport {
  double wallSeconds = 0;
  double simulatedSeconds = 0;
  uint64_t frames = 0;     // world frames on the game thread
  uint64_t updates = 0;    // per-frame updates the mod ran
  uint64_t reshaped = 0;   // "reshaped ..." lines: routes the path hook bent
  uint64_t hookCalls = 0;  // game-thread queries the hook judged, as the last snapshot copied said
  int episodes = 0;        // "episode ...:" lines
  uint64_t workerQueries = 0;
  uint64_t workerFound = 0;
  uint64_t workerDiffering = 0;  // worker answers someone changed: must stay 0
  // The churn thread's own thugs, and the arena's controllers it destroyed (the arena
  // replaces them).
  uint64_t thugsCreated = 0;
  uint64_t thugsDestroyed = 0;
  uint64_t arenaControllersDestroyed = 0;
  uint64_t arenaReplacements = 0;  // controllers added and pawns respawned by the arena
  // The render thread.
  uint64_t overlayFrames = 0;
  uint64_t snapshotsSeen = 0;  // distinct snapshots it copied
  uint64_t requestsRaised = 0;
  uint64_t switchFlips = 0;           // master switch off or on through the settings path
  int masterSwitchOffLines = 0;       // the mod's own account of stepping aside
  int hooksInstalledLines = 0;        // "navmesh N hooked" lines: installs and reinstalls
  size_t thugsTracked = 0;            // at the end, after the world settled
  std::vector<std::string> failures;  // empty = every check passed
};

// False with a one-line reason when the run could not be set up; the checks' verdict is in
// report.failures.
bool RunStress(const StressOptions& options, StressReport& report, std::string& error);

std::string StressSummary(const StressOptions& options, const StressReport& report);

}  // namespace kvr::stress
