#include "sim/report/learning_curve.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

#include "sim/report/stats.h"
#include "sim/report/svg.h"
#include "tactics/brain.h"

namespace kvr::sim::report {

namespace {

std::string CsvName(const char* styleName) {
  std::string out;
  for (const char* c = styleName; *c; ++c)
    out += *c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  return out;
}

std::string Cell(double v, const char* fmt) {
  if (std::isnan(v)) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

}  // namespace

std::vector<LearningRow> LearningCurve(const MatchRecord& record, size_t blockSize) {
  std::vector<LearningRow> rows;
  const std::vector<TimedEpisode>& eps = record.episodes;
  if (blockSize == 0) return rows;
  tactics::Brain brain;
  brain.config = tactics::MakeBrainConfig(record.settings);
  for (size_t start = 0; start < eps.size(); start += blockSize) {
    const size_t end = std::min(eps.size(), start + blockSize);
    if ((end - start) * 2 < blockSize) break;
    LearningRow row;
    row.block = rows.size() + 1;
    row.lastEpisode = end;
    row.minutes = eps[end - 1].simSeconds / 60.0;
    row.count = end - start;
    std::vector<double> all;
    std::array<std::vector<double>, aps::kStyleCount> styles;
    for (size_t i = start; i < end; ++i) {
      all.push_back(eps[i].line.reward);
      const int s = eps[i].line.style;
      if (s >= 0 && s < aps::kStyleCount) styles[s].push_back(eps[i].line.reward);
    }
    row.meanReward = MeanAndError(all).mean;
    for (int s = 0; s < aps::kStyleCount; ++s) {
      row.styleCount[s] = styles[s].size();
      row.styleReward[s] = styles[s].empty() ? kNaN : MeanAndError(styles[s]).mean;
    }
    brain.totalEpisodes = record.brainEpisodesBefore + end;
    row.exploration = record.run.policy == Policy::kRule ? 0.0f : brain.ExplorationRate();
    rows.push_back(row);
  }
  return rows;
}

std::string LearningCsv(const std::vector<LearningRow>& rows) {
  std::string out = "block,episodes,minutes,count,mean_reward,exploration";
  for (int s = 0; s < aps::kStyleCount; ++s) {
    const std::string name = CsvName(aps::Style(s).name);
    out += "," + name + "_count," + name + "_reward";
  }
  out += "\n";
  for (const LearningRow& r : rows) {
    out += std::to_string(r.block) + "," + std::to_string(r.lastEpisode) + "," +
           Cell(r.minutes, "%.3f") + "," + std::to_string(r.count) + "," +
           Cell(r.meanReward, "%.4f") + "," + Cell(r.exploration, "%.4f");
    for (int s = 0; s < aps::kStyleCount; ++s) {
      // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) on "," + std::string&&.
      out += ',';
      out += std::to_string(r.styleCount[s]);
      out += ',';
      out += Cell(r.styleReward[s], "%.4f");
    }
    out += "\n";
  }
  return out;
}

namespace {

// The dot of a block's style mean: its area grows with the episodes it stands on.
double DotRadius(size_t episodes) {
  return 1.5 + 3.5 * std::sqrt(static_cast<double>(episodes) / static_cast<double>(kLearningBlock));
}

// A style's mean reward per block. A block where the style had only a handful of episodes says
// little and would swing the line, so such points are left out and the line breaks there.
void DrawStylePoints(SvgWriter& svg, const Plot& plot, const std::vector<LearningRow>& rows,
                     int style, const Stroke& stroke) {
  const size_t s = static_cast<size_t>(style);
  std::vector<std::pair<double, double>> run;
  const auto flush = [&] {
    if (run.size() >= 2) svg.Polyline(run, stroke);
    run.clear();
  };
  for (const LearningRow& r : rows) {
    if (std::isnan(r.styleReward[s]) || r.styleCount[s] < kFewestEpisodesShown) {
      flush();
      continue;
    }
    const double x = plot.X(static_cast<double>(r.lastEpisode)), y = plot.Y(r.styleReward[s]);
    run.emplace_back(x, y);
    svg.Circle(x, y, DotRadius(r.styleCount[s]), stroke.colour, nullptr);
  }
  flush();
}

}  // namespace

std::string LearningSvg(const std::vector<LearningRow>& rows, const std::string& title) {
  SvgWriter svg(900, 470);
  Plot plot;
  plot.left = 70, plot.top = 50, plot.width = 600, plot.height = 340;
  const double lastEpisode = rows.empty() ? 100.0 : static_cast<double>(rows.back().lastEpisode);
  plot.x = {0.0, std::max(100.0, lastEpisode), "episodes judged (mean of each block of 100)"};
  plot.y = {0.0, 1.0, "mean reward (0..1) / exploration rate"};
  DrawPlotFrame(svg, plot, title);
  std::vector<LegendEntry> legend;
  for (int s = 0; s < aps::kStyleCount; ++s) {
    const Stroke stroke{ReadableStyleColour(s), 1.2, ""};
    DrawStylePoints(svg, plot, rows, s, stroke);
    legend.push_back({aps::Style(s).name, stroke, false});
  }
  std::vector<std::pair<double, double>> mean, explore;
  for (const LearningRow& r : rows) {
    mean.emplace_back(plot.X(static_cast<double>(r.lastEpisode)), plot.Y(r.meanReward));
    explore.emplace_back(plot.X(static_cast<double>(r.lastEpisode)), plot.Y(r.exploration));
  }
  const Stroke meanStroke{"#000000", 3.0, ""};
  const Stroke exploreStroke{"#7A2BB5", 2.0, "7,4"};
  svg.Polyline(mean, meanStroke);
  svg.Polyline(explore, exploreStroke);
  for (const auto& [x, y] : mean) svg.Circle(x, y, 2.5, "#000000", nullptr);
  legend.insert(legend.begin(), {"exploration rate", exploreStroke, false});
  legend.insert(legend.begin(), {"all styles", meanStroke, false});
  DrawLegend(svg, plot.left + plot.width + 20, plot.top, legend);
  const double noteY = plot.top + 8 + 17.0 * static_cast<double>(legend.size()) + 20;
  svg.Text(plot.left + plot.width + 20, noteY, "dot area: a style's episodes in the block", 11);
  svg.Text(plot.left + plot.width + 20, noteY + 15,
           "(points of fewer than " + std::to_string(kFewestEpisodesShown) + " are left out)", 11);
  if (rows.empty())
    svg.Text(plot.X((plot.x.min + plot.x.max) / 2), plot.Y(0.5),
             "no episodes were judged (the rule policy opens none)", 14, "middle");
  return svg.Finish();
}

}  // namespace kvr::sim::report
