#include "sim/arena/soak.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>

#include "host/mod_state.h"
#include "mod/mod_runtime.h"
#include "platform/text.h"
#include "sim/process_usage.h"

namespace kvr::sim {

namespace {

// An hour may log at most this many times what the first full hour logged: the log follows
// what happens in the arena, which varies, but must not grow with the session's age.
constexpr double kLogGrowthFactor = 2.0;

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// What is followed across the whole run: the log as it is taken from the host's device, and
// the episode ends in it.
struct LogFollower {
  std::map<std::string, int> ends;
  uint64_t bytes = 0;
  uint64_t endLines = 0;
  std::vector<std::wstring> taken;

  void Take(World& world) {
    world.Output().TakeLines(taken);
    std::vector<std::string> lines;
    lines.reserve(taken.size());
    for (const std::wstring& wide : taken) {
      std::string line = platform::WideToUtf8(wide);
      bytes += line.size();
      if (!line.empty() && line.back() == '\n') line.pop_back();
      lines.push_back(std::move(line));
    }
    PlayReport counted;
    CountEpisodeEnds(lines, counted);
    for (const auto& [reason, n] : counted.episodeEnds) ends[reason] += n;
    endLines += static_cast<uint64_t>(counted.episodes);
  }
};

// The master switch as the menu flips it: a new settings record for the game thread to adopt.
void FlipMasterSwitch() {
  ModState& state = ModState::Get();
  std::lock_guard<std::mutex> lock(state.settingsLock);
  state.sharedSettings.Enabled = state.sharedSettings.Enabled ? 0 : 1;
  ++state.settingsVersion;
}

// Episodes the running mod's brain judged, and those it refused, so far.
void BrainCounts(uint64_t& judged, uint64_t& refused) {
  mod::ModRuntime& rt = mod::ModRuntime::Get();
  std::lock_guard<std::mutex> lock(rt.stateLock);
  judged = rt.brain.totalEpisodes;
  refused = rt.brain.nonFiniteEpisodes;
}

int64_t FileBytes(const std::string& path) {
  std::error_code error;
  const auto size =
      std::filesystem::file_size(std::filesystem::path(platform::Utf8ToWide(path)), error);
  return error ? -1 : static_cast<int64_t>(size);
}

struct HourStart {
  uint64_t judged = 0, refused = 0, endLines = 0, logBytes = 0;
};

// Ends the hour: counts, the hot reload (the mod saves its brain on the way out and loads it
// on the way in), then the process's figures.
bool EndHour(const SoakOptions& o, PlaySession& session, LogFollower& log, HourStart& start,
             SoakHour& hour, std::string& error) {
  uint64_t judged = 0, refused = 0;
  BrainCounts(judged, refused);
  session.host->Stop();
  log.Take(session.world);
  hour.episodesJudged = judged - start.judged;
  hour.episodesRefused = refused - start.refused;
  hour.episodeEnds = log.endLines - start.endLines;
  hour.logBytes = log.bytes - start.logBytes;
  hour.brainBytes = FileBytes(o.play.modDir + "/brain.kvrb");
  if (!session.host->StartLinked(o.play.modDir, error)) return false;
  BrainCounts(start.judged, start.refused);
  log.Take(session.world);  // the start-up lines belong to the next hour
  start.endLines = log.endLines;
  start.logBytes = log.bytes;
  ProcessUsage usage;
  if (!ReadProcessUsage(usage)) {
    error = "the process's memory, handle and thread figures could not be read";
    return false;
  }
  hour.residentMiB = static_cast<double>(usage.residentBytes) / (1024.0 * 1024.0);
  hour.handles = usage.handles;
  hour.threads = usage.threads;
  return true;
}

}  // namespace

bool RunSoak(const SoakOptions& o, SoakReport& report, std::string& error) {
  if (o.play.modDir.empty()) {
    error = "the soak needs a mod folder";
    return false;
  }
  if (!(o.hours >= 1.0) || !(o.flipMinutes > 0) || !(o.reloadMinutes >= o.flipMinutes)) {
    error = "--hours must be at least 1";
    return false;
  }
  PlayOptions play = o.play;
  play.modStart = PlayOptions::ModStart::kLinked;  // the switch is flipped as the menu does
  play.minutes = 1.0;
  PlaySession session;
  PlayReport opened;
  if (!OpenPlay(play, session, opened, error)) return false;
  LogFollower log;
  HourStart start;
  BrainCounts(start.judged, start.refused);
  const int hours = static_cast<int>(std::floor(o.hours));
  const int flipsPerHour = static_cast<int>(std::lround(o.reloadMinutes / o.flipMinutes));
  const long long framesPerFlip = PlayFrames(session, o.flipMinutes * 60.0);
  bool ok = true;
  for (int h = 0; h < hours && ok; ++h) {
    const auto began = std::chrono::steady_clock::now();
    for (int f = 0; f < flipsPerHour; ++f) {
      RunPlayFrames(session, framesPerFlip);
      log.Take(session.world);
      FlipMasterSwitch();
    }
    SoakHour& hour = report.hours.emplace_back();
    ok = EndHour(o, session, log, start, hour, error);
    hour.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  }
  PlayReport closed;
  ClosePlay(session, closed);
  report.episodeEnds.assign(log.ends.begin(), log.ends.end());
  if (!ok) return false;
  report.failures = JudgeSoak(report.hours);
  return true;
}

std::vector<std::string> JudgeSoak(const std::vector<SoakHour>& hours) {
  std::vector<std::string> failures;
  if (hours.empty()) return {"no hour was played"};
  const SoakHour& first = hours.front();
  const SoakHour& last = hours.back();
  if (last.residentMiB > first.residentMiB * (1.0 + kSoakMemoryGrowth)) {
    failures.push_back(Format("resident memory grew from %.1f MiB to %.1f MiB (more than 2%%)",
                              first.residentMiB, last.residentMiB));
  }
  for (size_t i = 0; i < hours.size(); ++i) {
    const SoakHour& h = hours[i];
    const double n = static_cast<double>(i + 1);
    if (h.handles != first.handles)
      failures.push_back(Format("hour %.0f: %.0f handles, %.0f after the first", n,
                                static_cast<double>(h.handles),
                                static_cast<double>(first.handles)));
    if (h.threads != first.threads)
      failures.push_back(Format("hour %.0f: %.0f threads, %.0f after the first", n,
                                static_cast<double>(h.threads),
                                static_cast<double>(first.threads)));
    if (h.brainBytes < 0 || h.brainBytes != first.brainBytes)
      failures.push_back(Format("hour %.0f: brain.kvrb has %.0f bytes, %.0f after the first", n,
                                static_cast<double>(h.brainBytes),
                                static_cast<double>(first.brainBytes)));
    if (h.episodesJudged + h.episodesRefused != h.episodeEnds)
      failures.push_back(Format("hour %.0f: %.0f episodes judged, %.0f episode ends logged", n,
                                static_cast<double>(h.episodesJudged + h.episodesRefused),
                                static_cast<double>(h.episodeEnds)));
    const double logLimit =
        kLogGrowthFactor * static_cast<double>(std::max<uint64_t>(first.logBytes, 4096));
    if (static_cast<double>(h.logBytes) > logLimit)
      failures.push_back(Format("hour %.0f: the log grew by %.0f bytes (limit %.0f)", n,
                                static_cast<double>(h.logBytes), logLimit));
  }
  return failures;
}

std::string SoakSummary(const SoakReport& r) {
  std::string out;
  for (size_t i = 0; i < r.hours.size(); ++i) {
    const SoakHour& h = r.hours[i];
    out += Format("hour %.0f: resident %.1f MiB, ", static_cast<double>(i + 1), h.residentMiB) +
           std::to_string(h.handles) + " handles, " + std::to_string(h.threads) +
           " threads, brain.kvrb " + std::to_string(h.brainBytes) + " bytes, log +" +
           std::to_string(h.logBytes) + " bytes, " + std::to_string(h.episodesJudged) +
           " episodes judged (" + std::to_string(h.episodesRefused) + " refused), " +
           std::to_string(h.episodeEnds) + " episode ends" +
           Format(", %.0f s wall\n", h.wallSeconds);
  }
  out += "episode ends:";
  for (const auto& [reason, n] : r.episodeEnds) out += " " + reason + " " + std::to_string(n) + ",";
  if (out.back() == ',') out.pop_back();
  out += "\n";
  for (const std::string& failure : r.failures) out += "soak: " + failure + "\n";
  const double first = r.hours.empty() ? 0.0 : r.hours.front().residentMiB;
  const double last = r.hours.empty() ? 0.0 : r.hours.back().residentMiB;
  out +=
      std::string("soak: ") + (r.failures.empty() ? "passed" : "FAILED") + ", " +
      std::to_string(r.hours.size()) + " simulated hours" +
      Format(", resident memory %.1f MiB after the first hour, %.1f MiB at the end\n", first, last);
  return out;
}

}  // namespace kvr::sim
