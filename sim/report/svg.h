// A small SVG writer for the report pictures: shapes, text, and a plot frame with titled axes,
// tick labels, grid lines and a legend, so every chart reads the same way at a glance.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace kvr::sim::report {

// Text that is safe inside SVG markup and attribute values.
std::string XmlEscape(const std::string& text);

// "#RRGGBB" of a 0xAARRGGBB colour.
std::string HexColour(unsigned argb);

// An approach style's colour on white paper: darker than the in-game overlay's, every style
// distinct from the others.
std::string ReadableStyleColour(int style);

struct Stroke {
  std::string colour = "#000000";
  double width = 1.0;
  std::string dash;  // SVG dash pattern, empty for a solid line
};

class SvgWriter {
 public:
  SvgWriter(double width, double height, const std::string& background = "#FFFFFF");

  void Rect(double x, double y, double w, double h, const std::string& fill, const Stroke* stroke);
  void Line(double x1, double y1, double x2, double y2, const Stroke& stroke);
  void Polyline(const std::vector<std::pair<double, double>>& points, const Stroke& stroke);
  void Polygon(const std::vector<std::pair<double, double>>& points, const std::string& fill,
               const Stroke* stroke);
  void Circle(double cx, double cy, double r, const std::string& fill, const Stroke* stroke);
  // anchor: "start", "middle" or "end"; rotate in degrees around the text's anchor point.
  void Text(double x, double y, const std::string& text, double size,
            const std::string& anchor = "start", double rotate = 0.0, bool bold = false);
  void Raw(const std::string& markup) { body_ += markup; }

  // The complete document.
  std::string Finish() const;

 private:
  double width_, height_;
  std::string body_;
};

struct Axis {
  double min = 0.0, max = 1.0;
  std::string title;  // with its unit, e.g. "simulated time (min)"
};

// A rectangular plot area in picture coordinates and the value ranges it shows.
struct Plot {
  double left = 70, top = 50, width = 600, height = 320;
  Axis x, y;
  double X(double v) const;
  double Y(double v) const;
};

// Round tick values covering [min, max], about `count` of them.
std::vector<double> NiceTicks(double min, double max, int count);

// Axis lines, grid, tick labels, axis titles and the chart title above the plot.
void DrawPlotFrame(SvgWriter& svg, const Plot& plot, const std::string& title);

struct LegendEntry {
  std::string label;
  Stroke stroke;
  bool box = false;  // a filled box (bars) instead of a line sample
};

// A legend box with its top-left corner at (x, y), one entry per row.
void DrawLegend(SvgWriter& svg, double x, double y, const std::vector<LegendEntry>& entries);

}  // namespace kvr::sim::report
