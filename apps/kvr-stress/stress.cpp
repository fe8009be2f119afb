#include "stress.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "mod/lifecycle.h"
#include "mod/mod.h"
#include "mod/mod_runtime.h"
#include "platform/text.h"
#include "sim/arena/play.h"
#include "stress_threads.h"

namespace kvr::stress {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "[KorvathNeuralNav] ";

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.rfind(prefix, 0) == 0;
}

// A folder of its own for config.ini and brain.kvrb unless the caller named one.
class ModFolder {
 public:
  explicit ModFolder(const std::string& named) : path_(named) {
    if (!path_.empty()) return;
    std::random_device rd;
    path_ = (fs::temp_directory_path() / ("kvr-stress-" + std::to_string(rd()))).string();
    owned_ = true;
  }
  ~ModFolder() {
    std::error_code ec;
    if (owned_) fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool owned_ = false;
};

// The mod as the mod host starts it, linked into this program so that the render thread here
// shares its ModState: the object finds its host (the stand-in host's seam, with the simulated
// clock), then start-up runs with the mod folder.
std::unique_ptr<mod::KorvathPalimarNeuralNav> StartMod(sim::PlaySession& session,
                                                        const std::string& modDir,
                                                        std::string& error) {
  host::SetHost(&session.host->Seam());
  auto mod = std::make_unique<mod::KorvathPalimarNeuralNav>();
  if (!mod->Hosted()) {
    error = "the mod found no host";
    return nullptr;
  }
  mod::StartUp(mod::ModRuntime::Get(), platform::Utf8ToWide(modDir));
  return mod;
}

void WaitFrames(const sim::World& world, uint64_t frames) {
  const uint64_t until = world.FrameCount() + frames;
  while (world.FrameCount() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// What the mod holds must match the world it runs in. Read with the game thread stopped.
void CheckTracking(sim::World& world, const std::vector<host::UObject*>& survivors,
                   StressReport& r) {
  mod::ModRuntime& rt = mod::ModRuntime::Get();
  std::lock_guard<std::mutex> lock(rt.stateLock);
  const game::GameState& g = rt.game;
  r.updates = g.updatesRun;
  r.thugsTracked = g.thugs.size();
  size_t deadWatched = 0;
  for (const host::UObject* object : g.watched) deadWatched += !world.IsAlive(object);
  if (deadWatched)
    r.failures.push_back(std::to_string(deadWatched) + " destroyed objects still watched");
  for (const auto& [controller, t] : g.thugs) {
    if (!world.IsAlive(controller)) r.failures.push_back("a destroyed controller is tracked");
    if (t.pawn && !world.IsAlive(t.pawn)) r.failures.push_back("a destroyed pawn is tracked");
    const auto it = g.controllerByIndex.find(t.controllerIndex);
    if (it == g.controllerByIndex.end() || it->second != controller)
      r.failures.push_back("a tracked controller is missing from the index map");
  }
  if (g.controllerByIndex.size() != g.thugs.size())
    r.failures.push_back("the index map holds " + std::to_string(g.controllerByIndex.size()) +
                         " controllers for " + std::to_string(g.thugs.size()) + " thugs");
  if (survivors.empty())
    r.failures.push_back("no thug of the churn thread's lived through the run");
  for (host::UObject* controller : survivors) {
    if (!g.thugs.count(controller))
      r.failures.push_back("a thug that lived through the run is not tracked");
  }
}

void Expect(bool ok, const char* what, StressReport& r) {
  if (!ok) r.failures.push_back(what);
}

void CountLines(const std::vector<std::string>& lines, StressReport& r) {
  const std::string reshaped = std::string(kPrefix) + "reshaped ";
  const std::string off = std::string(kPrefix) + "master switch OFF";
  const std::string navmesh = std::string(kPrefix) + "navmesh ";
  for (const std::string& line : lines) {
    r.reshaped += StartsWith(line, reshaped);
    r.masterSwitchOffLines += StartsWith(line, off);
    r.hooksInstalledLines +=
        StartsWith(line, navmesh) && line.find(" hooked: ") != std::string::npos;
  }
}

void CheckOutcomes(StressReport& r) {
  Expect(r.frames > 0 && r.updates > 0, "the game thread ran no update", r);
  Expect(r.reshaped > 0, "no route was reshaped", r);
  Expect(r.workerQueries > 0 && r.workerFound > 0, "the engine threads got no path", r);
  Expect(r.workerDiffering == 0, "a query from an engine thread was changed on its way", r);
  Expect(r.episodes > 0, "no episode ended", r);
  Expect(r.thugsCreated > 0 && r.thugsDestroyed > 0, "the churn thread churned no thug", r);
  Expect(r.arenaControllersDestroyed > 0 && r.arenaReplacements > 0,
         "no arena controller was destroyed from another thread and replaced", r);
  Expect(r.overlayFrames > 0 && r.snapshotsSeen > 1, "the render thread saw no new snapshot", r);
  Expect(r.requestsRaised > 0, "the render thread raised no request", r);
  Expect(r.switchFlips < 2 || (r.masterSwitchOffLines > 0 && r.hooksInstalledLines > 1),
         "the master switch went off and on without the hooks coming out and going back in", r);
}

}  // namespace

bool RunStress(const StressOptions& o, StressReport& r, std::string& error) {
  if (!(o.seconds > 0.0)) {
    error = "--seconds must be above 0";
    return false;
  }
  ModFolder folder(o.modDir);
  std::string note;
  if (!sim::EnsureVerboseLog(folder.Path(), note, error))
    return false;  // episode and reshape lines
  sim::PlayOptions play;
  play.level = o.level;
  play.thugs = o.thugs;
  play.seed = o.seed;
  play.pathWorkers = 2;
  sim::PlaySession session;
  sim::PlayReport played;
  if (!sim::OpenPlay(play, session, played, error)) return false;
  std::unique_ptr<mod::KorvathPalimarNeuralNav> mod = StartMod(session, folder.Path(), error);
  if (!mod) return false;

  sim::World& world = session.world;
  const auto started = std::chrono::steady_clock::now();
  if (!world.StartGameThread({.frameSeconds = session.setup.rules.frameSeconds})) {
    error = "the game thread did not start";
    return false;
  }
  ChurnThread churn(world, session.classes, o.seed);
  RenderThread render(ModState::Get());
  std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
  churn.Stop();
  render.Stop();  // leaves the master switch on
  // The world settles: the survivors are found, the last notices taken, the switch adopted.
  WaitFrames(world, 120);
  world.StopGameThread();
  r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  r.frames = world.FrameCount();
  CheckTracking(world, churn.Survivors(), r);
  churn.Take(r);
  render.Take(r);
  // The mod shuts down (the engine's path functions go back, the brain is saved, the listener
  // leaves) while frames still run and the engine threads still plan through the slots. The
  // new game thread is not the one the mod knows, so its ticks no longer drive the update.
  world.StartGameThread({.frameSeconds = session.setup.rules.frameSeconds});
  WaitFrames(world, 30);
  mod.reset();
  WaitFrames(world, 30);
  world.StopGameThread();
  session.workers->Stop();
  host::SetHost(nullptr);
  sim::ClosePlay(session, played);
  r.simulatedSeconds = played.simulatedSeconds;
  r.workerQueries = played.workers.queries;
  r.workerFound = played.workers.found;
  r.workerDiffering = played.workers.differing;
  r.arenaReplacements = played.stats.controllersAdded + played.stats.thugRespawns;
  r.episodes = played.episodes;
  CountLines(played.modLines, r);
  CheckOutcomes(r);
  return true;
}

std::string StressSummary(const StressOptions& o, const StressReport& r) {
  char text[2048];
  std::snprintf(
      text, sizeof text,
      "stress: %.1f s of wall time, %.1f simulated seconds, %d arena thugs, seed %llu\n"
      "game thread: %llu frames, %llu mod updates, %llu routes reshaped of %llu queries judged, "
      "%d episodes ended\n"
      "engine threads: %llu path queries through the hooked slot, %llu with a path, %llu "
      "changed on the way\n"
      "churn thread: %llu thugs created, %llu destroyed, %llu arena controllers destroyed (%llu "
      "replaced by the arena)\n"
      "render thread: %llu overlay frames, %llu snapshots copied, %llu requests raised, %llu "
      "master switch flips (%d steps aside, %d hook installs)\n"
      "at the end: %zu thugs tracked\n",
      r.wallSeconds, r.simulatedSeconds, o.thugs, static_cast<unsigned long long>(o.seed),
      static_cast<unsigned long long>(r.frames), static_cast<unsigned long long>(r.updates),
      static_cast<unsigned long long>(r.reshaped), static_cast<unsigned long long>(r.hookCalls),
      r.episodes, static_cast<unsigned long long>(r.workerQueries),
      static_cast<unsigned long long>(r.workerFound),
      static_cast<unsigned long long>(r.workerDiffering),
      static_cast<unsigned long long>(r.thugsCreated),
      static_cast<unsigned long long>(r.thugsDestroyed),
      static_cast<unsigned long long>(r.arenaControllersDestroyed),
      static_cast<unsigned long long>(r.arenaReplacements),
      static_cast<unsigned long long>(r.overlayFrames),
      static_cast<unsigned long long>(r.snapshotsSeen),
      static_cast<unsigned long long>(r.requestsRaised),
      static_cast<unsigned long long>(r.switchFlips), r.masterSwitchOffLines, r.hooksInstalledLines,
      r.thugsTracked);
  std::string out = text;
  for (const std::string& f : r.failures) out += "FAILED: " + f + "\n";
  out += r.failures.empty() ? "every check passed\n" : "";
  return out;
}

}  // namespace kvr::stress
