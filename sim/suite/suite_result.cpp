#include "sim/suite/suite_result.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/file.h"
#include "sim/report/match_summary.h"
#include "sim/report/report_files.h"
#include "sim/report/svg.h"

namespace kvr::sim::suite {

namespace {

using nlohmann::json;
using report::MeanError;
using report::Policy;
using report::PolicyKind;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

PolicyFigures FiguresOf(const Policy& policy, const std::vector<const RunFigures*>& runs) {
  PolicyFigures f;
  f.policy = policy;
  std::vector<double> judged, chunks, damage, deaths;
  for (const RunFigures* r : runs) {
    judged.push_back(r->judged);
    chunks.push_back(r->chunksPerMinute);
    damage.push_back(r->damagePerEpisode);
    deaths.push_back(r->deathsPerMinute);
  }
  f.runs = runs.size();
  f.judged = report::MeanAndError(judged);
  f.chunksPerMinute = report::MeanAndError(chunks);
  f.damagePerEpisode = report::MeanAndError(damage);
  f.deathsPerMinute = report::MeanAndError(deaths);
  return f;
}

void RankFixed(VariantResult& v) {
  for (size_t i = 0; i < v.policies.size(); ++i) {
    const PolicyFigures& p = v.policies[i];
    if (p.policy.kind != PolicyKind::kFixed || std::isnan(p.judged.mean)) continue;
    if (v.bestFixed < 0 || p.judged.mean > v.policies[v.bestFixed].judged.mean)
      v.bestFixed = static_cast<int>(i);
    if (v.worstFixed < 0 || p.judged.mean < v.policies[v.worstFixed].judged.mean)
      v.worstFixed = static_cast<int>(i);
  }
  const double best = v.bestFixed >= 0 ? v.policies[v.bestFixed].judged.mean : kNaN;
  for (PolicyFigures& p : v.policies) p.regret = best - p.judged.mean;
}

const PolicyFigures* Find(const VariantResult& v, PolicyKind kind) {
  for (const PolicyFigures& p : v.policies)
    if (p.policy.kind == kind) return &p;
  return nullptr;
}

std::string Fmt(const char* format, double v) {
  if (std::isnan(v)) return "n/a";
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

json Num(double v) {
  return std::isnan(v) ? json(nullptr) : json(v);
}

// How far learned lies above random, in standard errors of the difference.
std::string LearnedVersusRandom(const VariantResult& v) {
  const PolicyFigures* l = Find(v, PolicyKind::kLearned);
  const PolicyFigures* r = Find(v, PolicyKind::kRandom);
  if (!l || !r || std::isnan(l->judged.mean) || std::isnan(r->judged.mean)) return "";
  const double diff = l->judged.mean - r->judged.mean;
  const double se = std::hypot(l->judged.stdError, r->judged.stdError);
  std::string out = "learned - random: ";
  out.append(Fmt("%+.4f", diff));
  if (se > 0)
    out.append(" (").append(Fmt("%+.1f", diff / se)).append(" standard errors)");
  else
    out.append(" (no standard error)");
  return out.append("\n");
}

// Every episode line judged once, in order; with `byStyle`, also summed per style into it.
std::vector<double> JudgeLines(const std::vector<std::string>& lines, const report::Judge& judge,
                               RunFigures* byStyle) {
  std::vector<double> judged;
  for (const std::string& line : lines) {
    report::EpisodeLine e;
    if (!report::ParseEpisodeLine(line, e)) continue;
    judged.push_back(report::JudgedReward(e, judge));
    if (!byStyle || e.style < 0 || e.style >= aps::kStyleCount) continue;
    byStyle->styleSum[e.style] += judged.back();
    ++byStyle->styleCount[e.style];
  }
  return judged;
}

void PoolPerDecision(VariantResult& v, const std::vector<const RunFigures*>& randomRuns) {
  for (int style = 0; style < aps::kStyleCount; ++style) {
    double sum = 0.0;
    size_t n = 0;
    for (const RunFigures* r : randomRuns) {
      sum += r->styleSum[style];
      n += r->styleCount[style];
    }
    v.perDecision[style] = n ? sum / static_cast<double>(n) : kNaN;
    if (n && (v.bestPerDecision < 0 || v.perDecision[style] > v.perDecision[v.bestPerDecision]))
      v.bestPerDecision = style;
  }
}

// "one decision among mixed styles (random's episodes), best first: ..." and where the pack's
// best style stands in that order.
std::string PerDecisionLines(const VariantResult& v) {
  if (v.bestPerDecision < 0) return "";
  std::array<int, aps::kStyleCount> order{};
  for (int i = 0; i < aps::kStyleCount; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return v.perDecision[a] > v.perDecision[b] ||
           (!std::isnan(v.perDecision[a]) && std::isnan(v.perDecision[b]));
  });
  std::string out = "one decision among mixed styles (random's episodes), best first:";
  for (int i = 0; i < aps::kStyleCount; ++i)
    out += std::string(i ? ", " : " ") + aps::Style(order[i]).name + " " +
           Fmt("%.4f", v.perDecision[order[i]]);
  out += "\n";
  if (v.bestFixed < 0) return out;
  const int packBest = v.policies[v.bestFixed].policy.style;
  const int rank =
      static_cast<int>(std::find(order.begin(), order.end(), packBest) - order.begin()) + 1;
  return out + "the best fixed style ranks " + std::to_string(rank) + " of " +
         std::to_string(aps::kStyleCount) + " there\n";
}

std::string NoiseFloorLine(const NoiseFloor& f) {
  if (f.draws == 0)
    return "noise alone: not known (each fixed style needs two seeds or more for a standard "
           "error)\n";
  char line[320];
  std::snprintf(line, sizeof line,
                "noise alone: a policy exactly as good as the best fixed style in every variant "
                "would show a largest regret of %.4f in the median, %.4f at the 90th percentile "
                "(%llu simulated suites with these means and standard errors)\n",
                f.median, f.p90, static_cast<unsigned long long>(f.draws));
  return line;
}

json PerDecisionJson(const VariantResult& v) {
  json out = json::object();
  for (int style = 0; style < aps::kStyleCount; ++style)
    out[aps::Style(style).name] = Num(v.perDecision[style]);
  return out;
}

}  // namespace

std::string MeanText(const MeanError& m, const char* format) {
  if (std::isnan(m.mean)) return "n/a";
  std::string out = Fmt(format, m.mean);
  if (m.n < 2) return out.append(" (one seed, no standard error)");
  return out.append(" +- ").append(Fmt(format, m.stdError));
}

double JudgedTail(const std::vector<std::string>& lines, const report::Judge& judge, size_t last,
                  size_t* episodes) {
  const std::vector<double> judged = JudgeLines(lines, judge, nullptr);
  if (episodes) *episodes = judged.size();
  return report::TailMean(judged, last);
}

bool ReadRunFigures(const std::string& dir, const Suite& suite, RunFigures& out,
                    std::string& error) {
  std::string log, summaryText;
  const std::string logPath = dir + "/" + report::kModLogFile;
  const std::string summaryPath = dir + "/" + report::kSummaryFile;
  if (!platform::ReadWholeFile(logPath, log) ||
      !platform::ReadWholeFile(summaryPath, summaryText)) {
    error = "cannot read " + logPath + " and " + summaryPath;
    return false;
  }
  report::MatchSummary s;
  if (!report::ParseSummaryJson(summaryText, s, error)) {
    error = summaryPath + ": " + error;
    return false;
  }
  out.policy = s.run.policy;
  out.seed = s.run.seed;
  // A random run's choices do not change over the run, so all its episodes count by style.
  const std::vector<double> judged =
      JudgeLines(SplitLines(log), suite.judge, out.policy == Policy::kRandom ? &out : nullptr);
  out.episodes = judged.size();
  out.judged = report::TailMean(judged, suite.lastEpisodes);
  out.chunksPerMinute = s.chunksPerMinute;
  out.damagePerEpisode = s.thugDamagePerEpisode;
  out.deathsPerMinute = s.thugDeathsPerMinute;
  return true;
}

SuiteResult SummarizeSuite(const Suite& suite, const std::vector<RunFigures>& runs) {
  SuiteResult out;
  out.name = suite.name;
  out.seeds = suite.seeds.size();
  out.lastEpisodes = suite.lastEpisodes;
  for (const Variant& variant : suite.variants) {
    VariantResult v;
    v.name = variant.name;
    for (const Policy& policy : suite.policies) {
      std::vector<const RunFigures*> mine;
      for (const RunFigures& r : runs)
        if (r.variant == variant.name && r.policy == policy) mine.push_back(&r);
      v.policies.push_back(FiguresOf(policy, mine));
      if (policy == Policy::kRandom) PoolPerDecision(v, mine);
    }
    RankFixed(v);
    out.variants.push_back(std::move(v));
  }
  for (size_t i = 0; i < suite.policies.size(); ++i) {
    double worst = kNaN;
    for (const VariantResult& v : out.variants)
      if (!std::isnan(v.policies[i].regret) && !(v.policies[i].regret <= worst))
        worst = v.policies[i].regret;
    if (!std::isnan(worst)) out.maxRegret.push_back({suite.policies[i], worst});
  }
  out.noiseFloor = OracleNoiseFloor(out);
  return out;
}

std::string VariantTable(const SuiteResult& result, const VariantResult& v) {
  std::string out = "variant " + v.name + "\n";
  char line[320];
  std::snprintf(line, sizeof line, "  %-18s %4s  %-34s %-8s %-30s %s\n", "policy", "runs",
                ("judged reward, last " + std::to_string(result.lastEpisodes)).c_str(), "regret",
                "chunks lost / min", "thug damage / episode");
  out += line;
  for (const PolicyFigures& p : v.policies) {
    std::snprintf(line, sizeof line, "  %-18s %4llu  %-34s %-8s %-30s %s\n",
                  report::PolicyName(p.policy).c_str(), static_cast<unsigned long long>(p.runs),
                  MeanText(p.judged, "%.4f").c_str(), Fmt("%.4f", p.regret).c_str(),
                  MeanText(p.chunksPerMinute, "%.2f").c_str(),
                  MeanText(p.damagePerEpisode, "%.3f").c_str());
    out += line;
  }
  if (v.bestFixed >= 0) {
    const PolicyFigures& best = v.policies[v.bestFixed];
    const PolicyFigures& worst = v.policies[v.worstFixed];
    out += "best fixed style: " + report::PolicyName(best.policy) + "; spread of the fixed " +
           "styles (best - worst): " + Fmt("%.4f", best.judged.mean - worst.judged.mean) + "\n";
  }
  return out + LearnedVersusRandom(v) + PerDecisionLines(v);
}

std::string SuiteTable(const SuiteResult& result) {
  std::string out;
  for (const VariantResult& v : result.variants) out += VariantTable(result, v) + "\n";
  out +=
      "largest regret over the variants (best fixed style's judged reward minus the policy's):\n";
  for (const PolicyRegret& r : result.maxRegret) {
    char line[128];
    std::snprintf(line, sizeof line, "  %-18s %.4f\n", report::PolicyName(r.policy).c_str(),
                  r.maxRegret);
    out += line;
  }
  return out + NoiseFloorLine(result.noiseFloor);
}

std::string SuiteJson(const SuiteResult& result) {
  json variants = json::array();
  for (const VariantResult& v : result.variants) {
    json policies = json::object();
    for (const PolicyFigures& p : v.policies)
      policies[report::PolicyName(p.policy)] = {
          {"mean", Num(p.judged.mean)},
          {"stdError", Num(p.judged.stdError)},
          {"runs", p.runs},
          {"regret", Num(p.regret)},
          {"chunksLostPerMinute", Num(p.chunksPerMinute.mean)},
          {"damagePerEpisode", Num(p.damagePerEpisode.mean)},
          {"thugDeathsPerMinute", Num(p.deathsPerMinute.mean)}};
    variants.push_back(
        {{"name", v.name},
         {"bestFixed", v.bestFixed >= 0 ? json(report::PolicyName(v.policies[v.bestFixed].policy))
                                        : json(nullptr)},
         {"worstFixed", v.worstFixed >= 0
                            ? json(report::PolicyName(v.policies[v.worstFixed].policy))
                            : json(nullptr)},
         {"policies", policies},
         {"perDecision", PerDecisionJson(v)},
         {"bestPerDecision",
          v.bestPerDecision >= 0 ? json(aps::Style(v.bestPerDecision).name) : json(nullptr)}});
  }
  json regret = json::object();
  for (const PolicyRegret& r : result.maxRegret) regret[report::PolicyName(r.policy)] = r.maxRegret;
  json out = {{"name", result.name},
              {"seeds", result.seeds},
              {"lastEpisodes", result.lastEpisodes},
              {"variants", variants},
              {"maxRegret", regret},
              {"maxRegretNoise",
               {{"median", Num(result.noiseFloor.median)},
                {"p90", Num(result.noiseFloor.p90)},
                {"mean", Num(result.noiseFloor.mean)},
                {"draws", result.noiseFloor.draws}}}};
  return out.dump(1) + "\n";
}

}  // namespace kvr::sim::suite
