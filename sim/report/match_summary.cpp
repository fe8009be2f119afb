#include "sim/report/match_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "sim/report/stats.h"
#include "tactics/brain.h"

namespace kvr::sim::report {

namespace {

using nlohmann::json;

// End reasons in the order the table lists them; any other reason follows.
constexpr const char* kKnownReasons[] = {"re-plan",
                                         "time",
                                         "died",
                                         "new pawn",
                                         "controller gone",
                                         "pawn destroyed",
                                         "controller destroyed",
                                         "disabled"};

double Ratio(double a, double b) {
  return b > 0.0 ? a / b : kNaN;
}

float ExplorationAfter(const Settings& settings, uint64_t totalEpisodes) {
  tactics::Brain brain;
  brain.config = tactics::MakeBrainConfig(settings);
  brain.totalEpisodes = totalEpisodes;
  return brain.ExplorationRate();
}

void SummarizeEpisodes(const MatchRecord& r, MatchSummary& s) {
  std::vector<double> rewards, damage;
  std::array<std::vector<double>, aps::kStyleCount> perStyle;
  for (const TimedEpisode& e : r.episodes) {
    rewards.push_back(e.line.reward);
    damage.push_back(e.line.damage);
    ++s.endReasons[e.line.reason];
    if (e.line.style >= 0 && e.line.style < aps::kStyleCount)
      perStyle[e.line.style].push_back(e.line.reward);
  }
  s.episodes = rewards.size();
  s.reward = MeanAndError(rewards);
  s.tailReward = TailMean(rewards, kTailEpisodes);
  s.thugDamagePerEpisode = MeanAndError(damage).mean;
  for (int i = 0; i < aps::kStyleCount; ++i) s.styles[i].reward = MeanAndError(perStyle[i]);
  const uint64_t total =
      r.brain.read ? r.brain.episodes : r.brainEpisodesBefore + static_cast<uint64_t>(s.episodes);
  s.explorationEnd = r.run.policy == Policy::kRule ? 0.0f : ExplorationAfter(r.settings, total);
}

void SummarizeReshapes(const MatchRecord& r, MatchSummary& s) {
  double msSum = 0.0, queries = 0.0, fromMemory = 0.0, gain = 0.0;
  for (const TimedReshape& t : r.reshapes) {
    msSum += t.line.ms;
    s.maxBuildMs = std::max(s.maxBuildMs, static_cast<double>(t.line.ms));
    queries += t.line.queries;
    fromMemory += t.line.fromMemory;
    if (t.line.engineCm > 0.0f) gain += t.line.newCm / t.line.engineCm - 1.0;
    if (t.line.style >= 0 && t.line.style < aps::kStyleCount) ++s.styles[t.line.style].reshaped;
  }
  const double n = static_cast<double>(r.reshapes.size());
  s.reshaped = r.reshapes.size();
  s.meanBuildMs = n > 0 ? msSum / n : 0.0;
  s.queriesPerBuild = n > 0 ? queries / n : 0.0;
  s.engineQueriesPerBuild = n > 0 ? (queries - fromMemory) / n : 0.0;
  s.lengthGain = n > 0 ? gain / n : 0.0;
  s.plans = r.game.plans;
  s.failedPlans = r.game.failedPlans;
  const uint64_t found = s.plans - std::min(s.plans, s.failedPlans);
  s.kept = found > s.reshaped ? found - s.reshaped : 0;
}

void SummarizeGame(const MatchRecord& r, MatchSummary& s) {
  const GameTally& g = r.game;
  s.simMinutes = g.simSeconds / 60.0;
  s.speed = Ratio(g.simSeconds, r.run.wallSeconds);
  s.playerChunksLost = g.playerChunksLost;
  s.playerDeaths = g.playerDeaths;
  s.thugDeaths = g.thugDeaths;
  s.thugDamage = g.thugDamage;
  s.meanSpacingCm = Ratio(g.spacingSumCm, static_cast<double>(g.spacingSamples));
  s.chunksPerMinute = Ratio(g.playerChunksLost, s.simMinutes);
  s.thugDeathsPerMinute = Ratio(g.thugDeaths, s.simMinutes);
  s.thugDamagePerMinute = Ratio(g.thugDamage, s.simMinutes);
  s.frames = g.frames;
  s.modelledNavigationUsPerFrame =
      Ratio(g.modelledNavigationSeconds * 1e6, static_cast<double>(g.frames));
}

#if defined(_WIN32)
std::string Format(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#endif
std::string Format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

// Counts printed with %llu: the Windows C library does not know %zu.
unsigned long long Count(size_t n) {
  return static_cast<unsigned long long>(n);
}

// "n/a" for figures that do not exist in this match.
std::string Fig(const char* fmt, double v) {
  return std::isnan(v) ? std::string("n/a") : Format(fmt, v);
}

std::string ReasonsText(const std::map<std::string, uint64_t>& reasons) {
  std::string out;
  auto add = [&out](const std::string& name, uint64_t n) {
    out += (out.empty() ? "" : ", ") + name + " " + std::to_string(n);
  };
  for (const char* name : kKnownReasons) add(name, reasons.count(name) ? reasons.at(name) : 0);
  for (const auto& entry : reasons)
    if (std::find_if(std::begin(kKnownReasons), std::end(kKnownReasons),
                     [&](const char* k) { return entry.first == k; }) == std::end(kKnownReasons))
      add(entry.first, entry.second);
  return out;
}

std::string StyleRows(const MatchSummary& s) {
  std::string out = "  style          episodes  mean reward  s.e.    reshaped\n";
  for (int i = 0; i < aps::kStyleCount; ++i) {
    const StyleFigures& f = s.styles[i];
    out += Format("  %-13s %9llu  %11s  %-6s  %8llu\n", aps::Style(i).name, Count(f.reward.n),
                  Fig("%.3f", f.reward.mean).c_str(), Fig("%.3f", f.reward.stdError).c_str(),
                  static_cast<unsigned long long>(f.reshaped));
  }
  out += Format("  %-13s %9llu  %11s  %-6s  last %llu: %s\n", "all", Count(s.reward.n),
                Fig("%.3f", s.reward.mean).c_str(), Fig("%.3f", s.reward.stdError).c_str(),
                Count(kTailEpisodes), Fig("%.3f", s.tailReward).c_str());
  return out;
}

std::string BrainText(const MatchSummary& s) {
  if (!s.brain.read) return "brain: not read (" + s.brain.error + ")\n";
  return Format(
      "brain: %llu episodes learnt (%llu before this match), generation %u, "
      "training loss %.4f, exploration now %.1f%%, %llu replay records\n",
      static_cast<unsigned long long>(s.brain.episodes),
      static_cast<unsigned long long>(s.brainEpisodesBefore), s.brain.generation,
      s.brain.averageLoss, s.explorationEnd * 100.0, Count(s.brain.replayRecords));
}

std::string CostText(const MatchSummary& s) {
  std::string out =
      s.modCost.frames == 0
          ? std::string("mod cost per frame: not reported by the mod\n")
          : Format(
                "mod cost per frame (its own measurement, real time on the game thread): "
                "%.2f us avg, %.1f us p99, %.1f us max over %llu frames; no overlay\n",
                s.modCost.meanUs, s.modCost.p99Us, s.modCost.maxUs,
                static_cast<unsigned long long>(s.modCost.frames));
  return out + "  modelled engine navigation (simulated time, not in the figure above): " +
         Fig("%.1f", s.modelledNavigationUsPerFrame) + " us per frame over " +
         std::to_string(s.frames) + " frames\n";
}

}  // namespace

MatchSummary Summarize(const MatchRecord& record) {
  MatchSummary s;
  s.run = record.run;
  s.brain = record.brain;
  s.brainEpisodesBefore = record.brainEpisodesBefore;
  s.modCost = record.modCost;
  SummarizeEpisodes(record, s);
  SummarizeReshapes(record, s);
  SummarizeGame(record, s);
  return s;
}

std::string SummaryTable(const MatchSummary& s) {
  const MatchRun& run = s.run;
  std::string out =
      Format("match: %s, %d thugs, %.1f simulated minutes, seed %llu, policy %s (%s)\n",
             run.level.c_str(), run.thugs, s.simMinutes, static_cast<unsigned long long>(run.seed),
             PolicyName(run.policy).c_str(), run.platform.c_str());
  out += Format("  wall time %.1f s, %s times real time\n", run.wallSeconds,
                Fig("%.0f", s.speed).c_str());
  out += BrainText(s);
  out += Format("episodes: %llu in this match; by end reason: ",
                static_cast<unsigned long long>(s.episodes)) +
         ReasonsText(s.endReasons) + "\n";
  out += StyleRows(s);
  out += Format(
      "reshaping: %llu thug plans, %llu reshaped, %llu kept the engine route, %llu found no "
      "path\n",
      static_cast<unsigned long long>(s.plans), static_cast<unsigned long long>(s.reshaped),
      static_cast<unsigned long long>(s.kept), static_cast<unsigned long long>(s.failedPlans));
  out += Format(
      "  builder: %.2f ms mean, %.2f ms largest, %.1f navmesh queries per build, "
      "reshaped routes %+.0f%% longer\n",
      s.meanBuildMs, s.maxBuildMs, s.queriesPerBuild, s.lengthGain * 100.0);
  out += Format(
      "  navmesh queries per build: %.1f asked, %.1f run on the engine, %.1f repeats "
      "answered from the build's memo\n",
      s.queriesPerBuild, s.engineQueriesPerBuild, s.queriesPerBuild - s.engineQueriesPerBuild);
  out += CostText(s);
  out += "game per simulated minute: player chunks lost " + Fig("%.2f", s.chunksPerMinute) +
         ", thug deaths " + Fig("%.2f", s.thugDeathsPerMinute) + ", thug damage " +
         Fig("%.0f", s.thugDamagePerMinute) + " health\n";
  out += Format("  totals: %.0f chunks, %d player deaths, %d thug deaths; ", s.playerChunksLost,
                s.playerDeaths, s.thugDeaths) +
         "thug damage per episode " + Fig("%.3f", s.thugDamagePerEpisode) +
         " of max health, mean spacing " + Fig("%.0f", s.meanSpacingCm) + " cm\n";
  return out;
}

namespace {

json MeanErrorJson(const MeanError& m) {
  return {{"n", m.n}, {"mean", m.mean}, {"stdError", m.stdError}};
}

double Num(const json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_number() ? it->get<double>() : kNaN;
}

MeanError MeanErrorFrom(const json& j) {
  MeanError m;
  m.n = static_cast<size_t>(
      j.is_object() && j.contains("n") && j["n"].is_number_unsigned() ? j["n"].get<uint64_t>() : 0);
  m.mean = j.is_object() ? Num(j, "mean") : kNaN;
  m.stdError = j.is_object() ? Num(j, "stdError") : kNaN;
  return m;
}

}  // namespace

std::string SummaryJson(const MatchSummary& s) {
  json styles = json::array();
  for (int i = 0; i < aps::kStyleCount; ++i)
    styles.push_back({{"style", aps::Style(i).name},
                      {"reward", MeanErrorJson(s.styles[i].reward)},
                      {"reshaped", s.styles[i].reshaped}});
  json out;
  out["run"] = {{"level", s.run.level},
                {"thugs", s.run.thugs},
                {"minutes", s.run.minutes},
                {"seed", s.run.seed},
                {"policy", PolicyName(s.run.policy)},
                {"platform", s.run.platform},
                {"wallSeconds", s.run.wallSeconds},
                {"simulatedMinutes", s.simMinutes},
                {"timesRealTime", s.speed}};
  out["brain"] = {{"read", s.brain.read},
                  {"error", s.brain.error},
                  {"episodes", s.brain.episodes},
                  {"episodesBefore", s.brainEpisodesBefore},
                  {"generation", s.brain.generation},
                  {"averageLoss", s.brain.averageLoss},
                  {"replayRecords", s.brain.replayRecords},
                  {"genomes", s.brain.genomes},
                  {"explorationRate", s.explorationEnd}};
  out["episodes"] = {{"count", s.episodes},
                     {"endReasons", s.endReasons},
                     {"reward", MeanErrorJson(s.reward)},
                     {"lastEpisodes", kTailEpisodes},
                     {"lastEpisodesReward", s.tailReward},
                     {"styles", styles}};
  out["reshaping"] = {{"plans", s.plans},
                      {"reshaped", s.reshaped},
                      {"kept", s.kept},
                      {"failed", s.failedPlans},
                      {"meanBuildMs", s.meanBuildMs},
                      {"maxBuildMs", s.maxBuildMs},
                      {"queriesPerBuild", s.queriesPerBuild},
                      {"engineQueriesPerBuild", s.engineQueriesPerBuild},
                      {"lengthGain", s.lengthGain}};
  // null when the mod wrote no cost line; the overlay does not run in a match.
  out["modCostPerFrame"] = s.modCost.frames == 0 ? json(nullptr)
                                                 : json{{"gameThreadMeanUs", s.modCost.meanUs},
                                                        {"gameThreadP99Us", s.modCost.p99Us},
                                                        {"gameThreadMaxUs", s.modCost.maxUs},
                                                        {"overlayMeanUs", nullptr},
                                                        {"frames", s.modCost.frames}};
  out["modelledNavigation"] = {{"usPerFrame", s.modelledNavigationUsPerFrame},
                               {"frames", s.frames}};
  out["game"] = {{"playerChunksLost", s.playerChunksLost},
                 {"playerDeaths", s.playerDeaths},
                 {"thugDeaths", s.thugDeaths},
                 {"thugDamage", s.thugDamage},
                 {"meanSpacingCm", s.meanSpacingCm},
                 {"playerChunksPerMinute", s.chunksPerMinute},
                 {"thugDeathsPerMinute", s.thugDeathsPerMinute},
                 {"thugDamagePerMinute", s.thugDamagePerMinute},
                 {"thugDamagePerEpisode", s.thugDamagePerEpisode}};
  return out.dump(1) + "\n";
}

bool ParseSummaryJson(const std::string& text, MatchSummary& out, std::string& error) {
  const json j = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded() || !j.is_object()) {
    error = "not JSON";
    return false;
  }
  for (const char* part : {"run", "brain", "episodes", "reshaping", "game"})
    if (!j.contains(part) || !j[part].is_object()) {
      error = std::string("no \"") + part + "\" object";
      return false;
    }
  try {
    MatchSummary s;
    const json& run = j["run"];
    s.run.level = run.value("level", "");
    s.run.thugs = run.value("thugs", 0);
    s.run.minutes = Num(run, "minutes");
    s.run.seed = run.value("seed", uint64_t{0});
    if (!ParsePolicy(run.value("policy", ""), s.run.policy)) {
      error = "unknown policy";
      return false;
    }
    s.run.platform = run.value("platform", "");
    s.run.wallSeconds = Num(run, "wallSeconds");
    s.simMinutes = Num(run, "simulatedMinutes");
    s.speed = Num(run, "timesRealTime");
    const json& brain = j["brain"];
    s.brain.read = brain.value("read", false);
    s.brain.error = brain.value("error", "");
    s.brain.episodes = brain.value("episodes", uint64_t{0});
    s.brainEpisodesBefore = brain.value("episodesBefore", uint64_t{0});
    s.brain.generation = brain.value("generation", 0u);
    s.brain.averageLoss = static_cast<float>(Num(brain, "averageLoss"));
    s.brain.replayRecords = brain.value("replayRecords", size_t{0});
    s.brain.genomes = brain.value("genomes", size_t{0});
    s.explorationEnd = static_cast<float>(Num(brain, "explorationRate"));
    const json& episodes = j["episodes"];
    s.episodes = episodes.value("count", uint64_t{0});
    if (episodes.contains("endReasons") && episodes["endReasons"].is_object())
      for (const auto& [name, n] : episodes["endReasons"].items())
        s.endReasons[name] = n.is_number_unsigned() ? n.get<uint64_t>() : 0;
    s.reward = MeanErrorFrom(episodes.value("reward", json()));
    s.tailReward = Num(episodes, "lastEpisodesReward");
    const json styles = episodes.value("styles", json::array());
    for (size_t i = 0; i < styles.size() && i < s.styles.size(); ++i) {
      s.styles[i].reward = MeanErrorFrom(styles[i].value("reward", json()));
      s.styles[i].reshaped = styles[i].value("reshaped", uint64_t{0});
    }
    const json& re = j["reshaping"];
    s.plans = re.value("plans", uint64_t{0});
    s.reshaped = re.value("reshaped", uint64_t{0});
    s.kept = re.value("kept", uint64_t{0});
    s.failedPlans = re.value("failed", uint64_t{0});
    s.meanBuildMs = Num(re, "meanBuildMs");
    s.maxBuildMs = Num(re, "maxBuildMs");
    s.queriesPerBuild = Num(re, "queriesPerBuild");
    s.engineQueriesPerBuild = Num(re, "engineQueriesPerBuild");
    s.lengthGain = Num(re, "lengthGain");
    const json& game = j["game"];
    s.playerChunksLost = Num(game, "playerChunksLost");
    s.playerDeaths = game.value("playerDeaths", 0);
    s.thugDeaths = game.value("thugDeaths", 0);
    s.thugDamage = Num(game, "thugDamage");
    s.meanSpacingCm = Num(game, "meanSpacingCm");
    s.chunksPerMinute = Num(game, "playerChunksPerMinute");
    s.thugDeathsPerMinute = Num(game, "thugDeathsPerMinute");
    s.thugDamagePerMinute = Num(game, "thugDamagePerMinute");
    s.thugDamagePerEpisode = Num(game, "thugDamagePerEpisode");
    if (j.contains("modCostPerFrame") && j["modCostPerFrame"].is_object()) {
      const json& cost = j["modCostPerFrame"];
      s.modCost.meanUs = Num(cost, "gameThreadMeanUs");
      s.modCost.p99Us = Num(cost, "gameThreadP99Us");
      s.modCost.maxUs = Num(cost, "gameThreadMaxUs");
      s.modCost.frames = cost.value("frames", uint64_t{0});
    }
    if (j.contains("modelledNavigation") && j["modelledNavigation"].is_object()) {
      s.modelledNavigationUsPerFrame = Num(j["modelledNavigation"], "usPerFrame");
      s.frames = j["modelledNavigation"].value("frames", uint64_t{0});
    }
    out = std::move(s);
    return true;
  } catch (const json::exception& e) {  // a field of the wrong type
    error = e.what();
    return false;
  }
}

}  // namespace kvr::sim::report
