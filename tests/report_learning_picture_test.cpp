// learning.svg as a reader meets it: every style in its own colour, each point sized by the
// episodes behind it, and points that stand on a handful of episodes left out.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "sim/report/learning_curve.h"
#include "sim/report/svg.h"
#include "svg_check.h"

namespace kvr::sim::report {
namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(ReportLearningPicture, EveryStyleHasItsOwnColour) {
  std::set<std::string> colours;
  for (int s = 0; s < aps::kStyleCount; ++s) colours.insert(ReadableStyleColour(s));
  EXPECT_EQ(colours.size(), static_cast<size_t>(aps::kStyleCount));
  EXPECT_NE(ReadableStyleColour(aps::kArcLeft), ReadableStyleColour(aps::kWeaveLeft));
}

TEST(ReportLearningPicture, PointsOfAFewEpisodesAreLeftOut) {
  std::vector<LearningRow> rows(4);
  const size_t arcLeft[] = {50, 5, 19, 20};  // Arc Left's episodes in each block
  for (size_t i = 0; i < rows.size(); ++i) {
    rows[i].block = i + 1;
    rows[i].lastEpisode = 100 * (i + 1);
    rows[i].count = 100;
    rows[i].meanReward = 0.5;
    rows[i].styleReward.fill(NAN);
    rows[i].styleCount[aps::kArcLeft] = arcLeft[i];
    rows[i].styleReward[aps::kArcLeft] = i == 1 ? 0.0 : 0.6;  // the swing of a handful
  }
  const std::string svg = LearningSvg(rows, "Learning");
  EXPECT_EQ(test::SvgProblem(svg), "");
  const std::string fill = "fill=\"" + ReadableStyleColour(aps::kArcLeft) + "\"";
  // Blocks 1 and 4 are drawn, 2 and 3 are not.
  size_t dots = 0;
  for (size_t at = svg.find("<circle"); at != std::string::npos; at = svg.find("<circle", at + 1))
    if (svg.substr(at, svg.find('>', at) - at).find(fill) != std::string::npos) ++dots;
  EXPECT_EQ(dots, 2u) << svg;
  // No line joins block 1 to block 4 across the blocks left out.
  EXPECT_EQ(
      Count(svg, "stroke=\"" + ReadableStyleColour(aps::kArcLeft) + "\" stroke-width=\"1.2\""),
      1u);  // the legend sample only
  EXPECT_NE(svg.find("dot area: a style's episodes in the block"), std::string::npos);
  EXPECT_NE(svg.find("(points of fewer than 20 are left out)"), std::string::npos);
}

}  // namespace
}  // namespace kvr::sim::report
