#include "sim/match/match_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "persistence/brain_file.h"
#include "platform/file.h"
#include "platform/text.h"
#include "settings/config_ini.h"
#include "sim/match/mod_folder.h"
#include "sim/report/report_files.h"

namespace kvr::sim {

namespace {

using report::MatchRecord;

std::string InModDir(const std::string& modDir, const char* name) {
  return platform::WideToUtf8(
      (std::filesystem::path(platform::Utf8ToWide(modDir)) / name).wstring());
}

// Follows the mod's log as it grows: each new line is parsed once and stamped with the
// simulated time of the frame it arrived in.
class MatchLogFollower {
 public:
  void Take(World& world, double simSeconds, MatchRecord& record, std::vector<std::string>& lines) {
    std::vector<std::string> fresh = LogLines(world, seen_);
    seen_ += fresh.size();
    for (std::string& line : fresh) {
      report::TimedEpisode e;
      report::TimedReshape r;
      report::CostLine cost;
      if (report::ParseCostLine(line, cost)) {
        record.modCost = cost;  // each line covers the run so far: the last one counts
      } else if (report::ParseEpisodeLine(line, e.line)) {
        e.simSeconds = simSeconds;
        record.episodes.push_back(std::move(e));
      } else if (report::ParseReshapeLine(line, r.line)) {
        r.simSeconds = simSeconds;
        record.reshapes.push_back(std::move(r));
      }
      lines.push_back(std::move(line));
    }
    record.logLines = seen_;
  }

 private:
  size_t seen_ = 0;
};

// Distance from each live thug to its nearest live neighbour, added to the tally.
void SampleSpacing(const Arena& arena, report::GameTally& tally) {
  const std::vector<ArenaThug>& thugs = arena.Thugs();
  for (size_t i = 0; i < thugs.size(); ++i) {
    if (thugs[i].phase != ThugPhase::kAlive) continue;
    float nearest = -1.0f;
    for (size_t j = 0; j < thugs.size(); ++j) {
      if (j == i || thugs[j].phase != ThugPhase::kAlive) continue;
      const float d = std::hypot(thugs[j].position.x - thugs[i].position.x,
                                 thugs[j].position.y - thugs[i].position.y);
      if (nearest < 0.0f || d < nearest) nearest = d;
    }
    if (nearest < 0.0f) continue;
    tally.spacingSumCm += nearest;
    ++tally.spacingSamples;
  }
}

float RouteLength(const aps::Route& route) {
  float total = 0.0f;
  for (size_t i = 1; i < route.size(); ++i)
    total += std::hypot(route[i].location.x - route[i - 1].location.x,
                        route[i].location.y - route[i - 1].location.y);
  return total;
}

// The reshape line that produced a walked route: the latest one with the route's point count
// and length (the line prints whole centimetres).
int StyleOfReshapedRoute(const MatchRecord& record, const aps::Route& walked) {
  const float length = RouteLength(walked);
  for (auto it = record.reshapes.rbegin(); it != record.reshapes.rend(); ++it)
    if (it->line.newPoints == static_cast<int>(walked.size()) &&
        std::abs(it->line.newCm - length) <= 1.0f)
      return it->line.style;
  return -1;
}

bool SameRoute(const aps::Route& a, const aps::Route& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::hypot(a[i].location.x - b[i].location.x, a[i].location.y - b[i].location.y) > 1.0f)
      return false;
  return true;
}

// Each thug's last route, beside the route the engine finds for the same trip.
void TakeLastRoutes(PlaySession& session, MatchRecord& record) {
  DetourNav nav(session.mesh);
  for (const ArenaThug& thug : session.arena->Thugs()) {
    if (thug.route.size() < 2) continue;
    report::ThugRoute t;
    t.name = "thug " + std::to_string(thug.slot + 1);
    for (const aps::Vec3& p : thug.route) t.walked.push_back(aps::NavPoint{p});
    if (!nav.FindPath(thug.route.front(), thug.route.back(), t.engine)) t.engine = t.walked;
    t.reshaped = !SameRoute(t.engine, t.walked);
    t.style = t.reshaped ? StyleOfReshapedRoute(record, t.walked) : -1;
    t.position = thug.position;
    t.alive = thug.phase == ThugPhase::kAlive;
    record.lastRoutes.push_back(std::move(t));
  }
  const ArenaPlayer& player = session.arena->Player();
  const ArenaRules& rules = session.arena->Rules();
  record.player = {player.position, player.yaw, 2.0f * rules.coneHalfAngle, rules.shotRange};
}

void TakeGameTally(const PlayReport& play, MatchRecord& record) {
  report::GameTally& g = record.game;
  const ArenaStats& s = play.stats;
  g.simSeconds = play.simulatedSeconds;
  g.playerChunksLost = static_cast<double>(s.playerChunksLost);
  g.playerDeaths = static_cast<int>(s.playerDowns);
  g.thugDeaths = static_cast<int>(s.thugDeaths);
  g.thugDamage = s.thugDamage;
  g.plans = s.pathQueries;
  g.failedPlans = s.pathFailures;
}

void WriteReport(const MatchOptions& o, const PlaySession& session, MatchResult& result) {
  report::ReportInputs in;
  in.record = &result.record;
  in.summary = &result.summary;
  in.level = &session.level;
  in.mesh = &session.mesh;
  in.modDir = o.play.modDir;
  in.modLog = result.modLines;
  if (!report::WriteMatchReport(o.reportDir, in, result.reportError) && result.reportError.empty())
    result.reportError = "the report could not be written";
}

}  // namespace

bool ReadBrainFigures(const std::string& path, report::BrainFigures& out) {
  out = {};
  std::string bytes;
  if (!platform::ReadWholeFile(path, bytes)) {
    out.error = persistence::kNoSavedBrain;
    return false;
  }
  persistence::BrainImage image;
  if (!persistence::DecodeBrainImage(bytes, nullptr, image, out.error)) return false;
  out.read = true;
  out.episodes = image.totalEpisodes;
  out.generation = image.generation;
  out.averageLoss = image.averageLoss;
  out.replayRecords = image.replay.size();
  out.genomes = image.genomes.size();
  return true;
}

bool SeedFreshBrain(const std::string& modDir, uint64_t seed, std::string& error) {
  const std::string path = InModDir(modDir, "brain.kvrb");
  std::string existing;
  if (platform::ReadWholeFile(path, existing)) return true;
  Settings settings;
  std::string status;
  ReadConfigIni(InModDir(modDir, "config.ini"), settings, status);
  tactics::Brain brain;
  brain.Configure(tactics::MakeBrainConfig(settings), seed);
  std::string why;
  if (persistence::WriteBrainFile(brain, path, why)) return true;
  error = "cannot write a fresh brain: " + why;
  return false;
}

bool RunMatch(const MatchOptions& o, MatchResult& result, std::string& error) {
  if (o.play.modDir.empty()) {
    error = "a match needs the mod folder";
    return false;
  }
  // The policy's edits last for this match only: the user's files come back at every return.
  ModFolderEdit edit;
  if (!edit.Apply(o.play.modDir, o.policy, o.play.seed, error) ||
      !SeedFreshBrain(o.play.modDir, o.play.seed, error))
    return false;
  MatchRecord& record = result.record;
  report::BrainFigures before;
  if (ReadBrainFigures(InModDir(o.play.modDir, "brain.kvrb"), before))
    record.brainEpisodesBefore = before.episodes;

  PlaySession session;
  PlayReport play;
  if (!OpenPlay(o.play, session, play, error)) return false;
  const double frame = session.setup.rules.frameSeconds;
  const long long frames = PlayFrames(session, o.play.minutes * 60.0);
  const long long framesPerStep = std::max(1LL, PlayFrames(session, 1.0));
  MatchLogFollower log;
  MatchProgress progress;
  progress.totalSeconds = static_cast<double>(frames) * frame;
  const auto started = std::chrono::steady_clock::now();
  for (long long done = 0; done < frames;) {
    const long long step = std::min(framesPerStep, frames - done);
    RunPlayFrames(session, step);
    done += step;
    log.Take(session.world, session.arena->Now(), record, result.modLines);
    SampleSpacing(*session.arena, record.game);
    progress.simSeconds = session.arena->Now();
    progress.episodes = record.episodes.size();
    progress.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (o.onProgress) o.onProgress(progress);
  }
  record.run.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  TakeLastRoutes(session, record);
  record.game.frames = session.world.FrameCount();
  record.game.modelledNavigationSeconds =
      static_cast<double>(session.world.ChargedEngineNanoseconds()) * 1e-9;
  const double end = session.arena->Now();
  log.Take(session.world, end, record, result.modLines);
  ClosePlay(session, play);  // the mod saves its brain on the way out
  // ClosePlay collected every line; keep the shutdown lines that came after the last step.
  for (size_t i = result.modLines.size(); i < play.modLines.size(); ++i)
    result.modLines.push_back(play.modLines[i]);
  TakeGameTally(play, record);

  record.run.level = o.play.level;
  record.run.thugs = o.play.thugs;
  record.run.minutes = o.play.minutes;
  record.run.seed = o.play.seed;
  record.run.policy = o.policy;
  record.run.platform = o.platform;
  std::string status;
  ReadConfigIni(InModDir(o.play.modDir, "config.ini"), record.settings, status);
  ReadBrainFigures(InModDir(o.play.modDir, "brain.kvrb"), record.brain);
  result.summary = report::Summarize(record);
  if (!o.reportDir.empty()) WriteReport(o, session, result);
  if (!edit.Restore(&error)) {
    error = "the match ran, but " + error + " (a copy waits beside it)";
    return false;
  }
  return true;
}

}  // namespace kvr::sim
