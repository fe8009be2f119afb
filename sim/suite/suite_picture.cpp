// suite.svg: one panel per variant, each policy's judged reward (mean and standard error over
// seeds) as a dot with whiskers, the best fixed style's level as a dashed line. The panels
// zoom on the range the dots use: the differences that matter are hundredths.
#include <algorithm>
#include <cmath>

#include "sim/report/svg.h"
#include "sim/suite/suite_result.h"

namespace kvr::sim::suite {

namespace {

using report::PolicyKind;

constexpr double kPanelWidth = 300, kPanelHeight = 230, kColumnStep = 380, kRowStep = 360;
constexpr int kColumns = 3;

std::string ColourOf(const report::Policy& p) {
  switch (p.kind) {
    case PolicyKind::kLearned:
      return "#1F77B4";
    case PolicyKind::kRandom:
      return "#FF7F0E";
    case PolicyKind::kRule:
      return "#2CA02C";
    case PolicyKind::kFixed:
      break;
  }
  return report::ReadableStyleColour(p.style);
}

std::pair<double, double> Range(const VariantResult& v) {
  double lo = 1.0, hi = 0.0;
  for (const PolicyFigures& p : v.policies) {
    if (std::isnan(p.judged.mean)) continue;
    const double se = std::isnan(p.judged.stdError) ? 0.0 : p.judged.stdError;
    lo = std::min(lo, p.judged.mean - se);
    hi = std::max(hi, p.judged.mean + se);
  }
  if (hi < lo) return {0.0, 1.0};
  const double pad = std::max(0.005, (hi - lo) * 0.15);
  return {lo - pad, hi + pad};
}

void DrawVariant(report::SvgWriter& svg, const VariantResult& v, double left, double top) {
  const auto [lo, hi] = Range(v);
  report::Plot plot;
  plot.left = left, plot.top = top, plot.width = kPanelWidth, plot.height = kPanelHeight;
  plot.x = {0.0, 0.0, ""};
  plot.y = {lo, hi, "judged reward"};
  report::DrawPlotFrame(svg, plot, v.name);
  plot.x = {0.0, static_cast<double>(v.policies.size()), ""};
  if (v.bestFixed >= 0) {
    const double y = plot.Y(v.policies[v.bestFixed].judged.mean);
    svg.Line(plot.left, y, plot.left + plot.width, y, {"#7A2BB5", 1.5, "6,4"});
  }
  const report::Stroke whisker{"#000000", 1.2, ""};
  for (size_t i = 0; i < v.policies.size(); ++i) {
    const PolicyFigures& p = v.policies[i];
    const double x = plot.X(static_cast<double>(i) + 0.5);
    svg.Text(x + 4, plot.top + plot.height + 10, report::PolicyName(p.policy), 10, "end", -60);
    if (std::isnan(p.judged.mean)) continue;
    if (p.judged.n >= 2 && p.judged.stdError > 0)
      svg.Line(x, plot.Y(p.judged.mean - p.judged.stdError), x,
               plot.Y(p.judged.mean + p.judged.stdError), whisker);
    svg.Circle(x, plot.Y(p.judged.mean), 5, ColourOf(p.policy), nullptr);
  }
}

}  // namespace

std::string SuiteSvg(const SuiteResult& result, const std::string& title) {
  const int rows = static_cast<int>((result.variants.size() + kColumns - 1) / kColumns);
  const double height = 90 + rows * kRowStep + 60;
  report::SvgWriter svg(80 + kColumns * kColumnStep, height);
  svg.Text((80 + kColumns * kColumnStep) / 2, 26, title, 17, "middle", 0.0, true);
  for (size_t i = 0; i < result.variants.size(); ++i)
    DrawVariant(svg, result.variants[i], 90 + kColumnStep * static_cast<double>(i % kColumns),
                80 + kRowStep * static_cast<double>(i / kColumns));
  const std::string whiskers =
      result.seeds >= 2 ? "standard error over seeds" : "one seed, no standard error";
  report::DrawLegend(svg, 90, height - 55,
                     {{"best fixed style's level", {"#7A2BB5", 1.5, "6,4"}, false},
                      {whiskers, {"#000000", 1.2, ""}, false}});
  return svg.Finish();
}

}  // namespace kvr::sim::suite
