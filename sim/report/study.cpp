#include "sim/report/study.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "sim/report/svg.h"

namespace kvr::sim::report {

namespace {

using nlohmann::json;

const char* kPolicyColour[] = {"#1F77B4", "#FF7F0E", "#2CA02C"};  // learned, random, rule

// "mean +- error"; with a single run there is no standard error, so only the mean is shown
// (the table says why underneath).
std::string Figure(const MeanError& m, const char* fmt) {
  if (std::isnan(m.mean)) return "n/a";
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, m.mean, m.stdError);
  std::string out = buf;
  if (m.n < 2) out.resize(out.find(" +- "));
  return out;
}

bool OneSeed(const StudyResult& study) {
  for (const StudyRow& row : study.rows)
    if (row.runs >= 2) return false;
  return true;
}

json FigureJson(const MeanError& m) {
  return {{"n", m.n}, {"mean", m.mean}, {"stdError", m.stdError}};
}

struct Panel {
  const char* title;
  const char* unit;
  MeanError StudyRow::*figure;
};

const Panel kPanels[] = {
    {"mean reward, last 500 episodes", "reward (0..1)", &StudyRow::tailReward},
    {"player health chunks lost", "chunks per simulated minute", &StudyRow::chunksPerMinute},
    {"thug damage taken", "fraction of max health per episode", &StudyRow::damagePerEpisode},
    {"thug deaths", "deaths per simulated minute", &StudyRow::thugDeathsPerMinute},
};

void DrawPanel(SvgWriter& svg, const StudyResult& study, const Panel& panel, double left,
               bool withBestStyle) {
  double top = 0.0;
  for (const StudyRow& row : study.rows) {
    const MeanError& m = row.*panel.figure;
    if (!std::isnan(m.mean))
      top = std::max(top, m.mean + (std::isnan(m.stdError) ? 0 : m.stdError));
  }
  if (withBestStyle && !std::isnan(study.bestStyleReward.mean))
    top = std::max(top, study.bestStyleReward.mean + study.bestStyleReward.stdError);
  Plot plot;
  plot.left = left, plot.top = 90, plot.width = 220, plot.height = 300;
  plot.x = {0.0, 3.0, "policy"};
  const std::vector<double> ticks = NiceTicks(0.0, top > 0 ? top * 1.15 : 1.0, 5);
  plot.y = {0.0, ticks.empty() ? 1.0 : std::max(ticks.back(), top * 1.05), panel.unit};
  // The frame's x ticks are meaningless for bars: draw the frame, then cover nothing; the
  // policy names go under the bars instead.
  Plot frame = plot;
  frame.x = {0.0, 0.0, "policy"};
  DrawPlotFrame(svg, frame, panel.title);
  const Stroke whisker{"#000000", 1.5, ""};
  for (size_t i = 0; i < study.rows.size(); ++i) {
    const StudyRow& row = study.rows[i];
    const MeanError& m = row.*panel.figure;
    const double cx = plot.X(0.5 + static_cast<double>(i)), half = plot.width / 8;
    svg.Text(cx, plot.top + plot.height + 16, PolicyName(row.policy), 12, "middle");
    if (std::isnan(m.mean)) {
      svg.Text(cx, plot.Y(0) - 8, "n/a", 12, "middle");
      continue;
    }
    svg.Rect(cx - half, plot.Y(m.mean), 2 * half, plot.Y(0) - plot.Y(m.mean), kPolicyColour[i],
             nullptr);
    if (!std::isnan(m.stdError) && m.stdError > 0) {
      svg.Line(cx, plot.Y(m.mean - m.stdError), cx, plot.Y(m.mean + m.stdError), whisker);
      svg.Line(cx - 6, plot.Y(m.mean + m.stdError), cx + 6, plot.Y(m.mean + m.stdError), whisker);
      svg.Line(cx - 6, plot.Y(m.mean - m.stdError), cx + 6, plot.Y(m.mean - m.stdError), whisker);
    }
  }
  if (withBestStyle && !std::isnan(study.bestStyleReward.mean)) {
    const double y = plot.Y(study.bestStyleReward.mean);
    svg.Line(plot.left, y, plot.left + plot.width, y, {"#7A2BB5", 2.0, "7,4"});
  }
}

}  // namespace

StudyResult SummarizeStudy(std::vector<MatchSummary> runs) {
  StudyResult out;
  std::sort(runs.begin(), runs.end(), [](const MatchSummary& a, const MatchSummary& b) {
    return std::make_pair(PolicyOrder(a.run.policy), a.run.seed) <
           std::make_pair(PolicyOrder(b.run.policy), b.run.seed);
  });
  std::array<std::vector<double>, aps::kStyleCount> randomStyle;
  for (size_t p = 0; p < out.rows.size(); ++p) {
    StudyRow& row = out.rows[p];
    row.policy = kPolicies[p];
    std::vector<double> tail, chunks, damage, deaths;
    for (const MatchSummary& s : runs) {
      if (s.run.policy != row.policy) continue;
      ++row.runs;
      tail.push_back(s.tailReward);
      chunks.push_back(s.chunksPerMinute);
      damage.push_back(s.thugDamagePerEpisode);
      deaths.push_back(s.thugDeathsPerMinute);
      if (row.policy == Policy::kRandom)
        for (int i = 0; i < aps::kStyleCount; ++i)
          randomStyle[i].push_back(s.styles[i].reward.mean);
    }
    row.tailReward = MeanAndError(tail);
    row.chunksPerMinute = MeanAndError(chunks);
    row.damagePerEpisode = MeanAndError(damage);
    row.thugDeathsPerMinute = MeanAndError(deaths);
  }
  for (int i = 0; i < aps::kStyleCount; ++i) {
    const MeanError m = MeanAndError(randomStyle[i]);
    if (!std::isnan(m.mean) && (out.bestStyle < 0 || m.mean > out.bestStyleReward.mean)) {
      out.bestStyle = i;
      out.bestStyleReward = m;
    }
  }
  out.runs = std::move(runs);
  return out;
}

std::string StudyTable(const StudyResult& study) {
  std::string out =
      "policy   runs  reward, last 500 episodes  chunks lost / min   thug damage / episode  "
      "thug deaths / min\n";
  for (const StudyRow& row : study.rows) {
    char line[256];
    std::snprintf(line, sizeof line, "%-8s %4llu  %-25s  %-17s  %-21s  %s\n",
                  PolicyName(row.policy).c_str(), static_cast<unsigned long long>(row.runs),
                  Figure(row.tailReward, "%.3f +- %.3f").c_str(),
                  Figure(row.chunksPerMinute, "%.2f +- %.2f").c_str(),
                  Figure(row.damagePerEpisode, "%.3f +- %.3f").c_str(),
                  Figure(row.thugDeathsPerMinute, "%.2f +- %.2f").c_str());
    out += line;
  }
  if (study.bestStyle >= 0)
    out += "best single style under the random policy (hindsight): " +
           std::string(aps::Style(study.bestStyle).name) + ", mean reward " +
           Figure(study.bestStyleReward, "%.3f +- %.3f") + "\n";
  out += OneSeed(study) ? "(one seed, no standard error; " : "(mean +- standard error over seeds; ";
  out += "n/a: the rule policy opens no learning episodes)\n";
  return out;
}

std::string StudySvg(const StudyResult& study, const std::string& title) {
  SvgWriter svg(1350, 560);
  svg.Text(675, 24, title, 17, "middle", 0.0, true);
  for (size_t i = 0; i < std::size(kPanels); ++i)
    DrawPanel(svg, study, kPanels[i], 90 + 330 * static_cast<double>(i), i == 0);
  std::vector<LegendEntry> legend;
  for (size_t i = 0; i < study.rows.size(); ++i)
    legend.push_back({PolicyName(study.rows[i].policy), {kPolicyColour[i], 1, ""}, true});
  legend.push_back({OneSeed(study) ? "one seed, no standard error" : "standard error over seeds",
                    {"#000000", 1.5, ""},
                    false});
  if (study.bestStyle >= 0)
    legend.push_back(
        {std::string("best fixed style (") + aps::Style(study.bestStyle).name + ", random runs)",
         {"#7A2BB5", 2.0, "7,4"},
         false});
  DrawLegend(svg, 90, 450, legend);
  return svg.Finish();
}

std::string StudyJson(const StudyResult& study) {
  json rows = json::array();
  for (const StudyRow& row : study.rows)
    rows.push_back({{"policy", PolicyName(row.policy)},
                    {"runs", row.runs},
                    {"lastEpisodesReward", FigureJson(row.tailReward)},
                    {"playerChunksPerMinute", FigureJson(row.chunksPerMinute)},
                    {"thugDamagePerEpisode", FigureJson(row.damagePerEpisode)},
                    {"thugDeathsPerMinute", FigureJson(row.thugDeathsPerMinute)}});
  json runs = json::array();
  for (const MatchSummary& s : study.runs)
    runs.push_back({{"policy", PolicyName(s.run.policy)},
                    {"seed", s.run.seed},
                    {"lastEpisodesReward", s.tailReward},
                    {"playerChunksPerMinute", s.chunksPerMinute},
                    {"thugDamagePerEpisode", s.thugDamagePerEpisode},
                    {"thugDeathsPerMinute", s.thugDeathsPerMinute}});
  json out = {{"policies", rows}, {"runs", runs}};
  out["bestFixedStyle"] = {{"style", study.bestStyle >= 0 ? aps::Style(study.bestStyle).name : ""},
                           {"reward", FigureJson(study.bestStyleReward)}};
  return out.dump(1) + "\n";
}

}  // namespace kvr::sim::report
