#include "sim/report/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "aps/aps.h"

namespace kvr::sim::report {

namespace {

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

std::string StrokeAttributes(const Stroke& s) {
  std::string out = " stroke=\"" + s.colour + "\" stroke-width=\"" + Num(s.width) + "\"";
  if (!s.dash.empty()) out += " stroke-dasharray=\"" + s.dash + "\"";
  return out;
}

std::string Points(const std::vector<std::pair<double, double>>& points) {
  std::string out;
  for (const auto& [x, y] : points) out += Num(x) + "," + Num(y) + " ";
  return out;
}

std::string TickLabel(double v, double step) {
  char buf[32];
  const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 6), v);
  return buf;
}

}  // namespace

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string HexColour(unsigned argb) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%06X", argb & 0xFFFFFFu);
  return buf;
}

SvgWriter::SvgWriter(double width, double height, const std::string& background)
    : width_(width), height_(height) {
  Rect(0, 0, width, height, background, nullptr);
}

void SvgWriter::Rect(double x, double y, double w, double h, const std::string& fill,
                     const Stroke* stroke) {
  body_ += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(w) + "\" height=\"" +
           Num(h) + "\" fill=\"" + fill + "\"" + (stroke ? StrokeAttributes(*stroke) : "") + "/>\n";
}

void SvgWriter::Line(double x1, double y1, double x2, double y2, const Stroke& stroke) {
  body_ += "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
           Num(y2) + "\"" + StrokeAttributes(stroke) + "/>\n";
}

void SvgWriter::Polyline(const std::vector<std::pair<double, double>>& points,
                         const Stroke& stroke) {
  if (points.empty()) return;
  body_ += "<polyline fill=\"none\" stroke-linejoin=\"round\" stroke-linecap=\"round\"" +
           StrokeAttributes(stroke) + " points=\"" + Points(points) + "\"/>\n";
}

void SvgWriter::Polygon(const std::vector<std::pair<double, double>>& points,
                        const std::string& fill, const Stroke* stroke) {
  body_ += "<polygon fill=\"" + fill + "\"" + (stroke ? StrokeAttributes(*stroke) : "") +
           " points=\"" + Points(points) + "\"/>\n";
}

void SvgWriter::Circle(double cx, double cy, double r, const std::string& fill,
                       const Stroke* stroke) {
  body_ += "<circle cx=\"" + Num(cx) + "\" cy=\"" + Num(cy) + "\" r=\"" + Num(r) + "\" fill=\"" +
           fill + "\"" + (stroke ? StrokeAttributes(*stroke) : "") + "/>\n";
}

void SvgWriter::Text(double x, double y, const std::string& text, double size,
                     const std::string& anchor, double rotate, bool bold) {
  body_ +=
      "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" font-family=\"sans-serif\" " +
      "font-size=\"" + Num(size) + "\" text-anchor=\"" + anchor + "\"" +
      (bold ? " font-weight=\"bold\"" : "") +
      (rotate != 0.0 ? " transform=\"rotate(" + Num(rotate) + " " + Num(x) + " " + Num(y) + ")\""
                     : "") +
      ">" + XmlEscape(text) + "</text>\n";
}

std::string SvgWriter::Finish() const {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         Num(width_) + "\" height=\"" + Num(height_) + "\" viewBox=\"0 0 " + Num(width_) + " " +
         Num(height_) + "\">\n" + body_ + "</svg>\n";
}

std::string ReadableStyleColour(int style) {
  // On white paper the game's bright overlay colours are too pale, and Arc Left and Weave Left
  // (light blue and cyan) cannot be told apart; pictures use their own set, the same hue
  // family where it stays distinct.
  static const char* const kColours[aps::kStyleCount] = {
      "#5A5A5A",  // Direct
      "#1F6FD0",  // Arc Left: blue
      "#2CA02C",  // Arc Right: green
      "#E6750A",  // Wide Left: orange
      "#C0307F",  // Wide Right: magenta
      "#8C564B",  // Weave Left: brown
      "#A89A00",  // Weave Right: olive
  };
  return kColours[std::clamp(style, 0, aps::kStyleCount - 1)];
}

double Plot::X(double v) const {
  const double span = x.max > x.min ? x.max - x.min : 1.0;
  return left + (v - x.min) / span * width;
}

double Plot::Y(double v) const {
  const double span = y.max > y.min ? y.max - y.min : 1.0;
  return top + height - (v - y.min) / span * height;
}

std::vector<double> NiceTicks(double min, double max, int count) {
  std::vector<double> ticks;
  if (!(max > min) || count < 1 || !std::isfinite(min) || !std::isfinite(max)) return ticks;
  const double raw = (max - min) / count;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double step = magnitude;
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
    if (raw <= m * magnitude + 1e-12) {
      step = m * magnitude;
      break;
    }
  for (double v = std::ceil(min / step - 1e-9) * step; v <= max + step * 1e-9; v += step)
    ticks.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
  return ticks;
}

void DrawPlotFrame(SvgWriter& svg, const Plot& p, const std::string& title) {
  const Stroke grid{"#E3E3E3", 1.0, ""};
  const Stroke axis{"#333333", 1.2, ""};
  const std::vector<double> xs = NiceTicks(p.x.min, p.x.max, 8);
  const std::vector<double> ys = NiceTicks(p.y.min, p.y.max, 6);
  const double xStep = xs.size() > 1 ? xs[1] - xs[0] : 1.0;
  const double yStep = ys.size() > 1 ? ys[1] - ys[0] : 1.0;
  for (double v : xs) {
    svg.Line(p.X(v), p.top, p.X(v), p.top + p.height, grid);
    svg.Text(p.X(v), p.top + p.height + 16, TickLabel(v, xStep), 11, "middle");
  }
  for (double v : ys) {
    svg.Line(p.left, p.Y(v), p.left + p.width, p.Y(v), grid);
    svg.Text(p.left - 6, p.Y(v) + 4, TickLabel(v, yStep), 11, "end");
  }
  svg.Line(p.left, p.top + p.height, p.left + p.width, p.top + p.height, axis);
  svg.Line(p.left, p.top, p.left, p.top + p.height, axis);
  svg.Text(p.left + p.width / 2, p.top + p.height + 36, p.x.title, 13, "middle");
  svg.Text(p.left - 48, p.top + p.height / 2, p.y.title, 13, "middle", -90.0);
  svg.Text(p.left + p.width / 2, p.top - 18, title, 16, "middle", 0.0, true);
}

void DrawLegend(SvgWriter& svg, double x, double y, const std::vector<LegendEntry>& entries) {
  if (entries.empty()) return;
  size_t longest = 0;
  for (const LegendEntry& e : entries) longest = std::max(longest, e.label.size());
  const double rowHeight = 17, width = 44 + 7.0 * static_cast<double>(longest);
  const Stroke border{"#999999", 1.0, ""};
  svg.Rect(x, y, width, 8 + rowHeight * static_cast<double>(entries.size()), "#FFFFFF", &border);
  for (size_t i = 0; i < entries.size(); ++i) {
    const double rowY = y + 4 + rowHeight * static_cast<double>(i) + rowHeight / 2;
    const LegendEntry& e = entries[i];
    if (e.box)
      svg.Rect(x + 8, rowY - 5, 22, 10, e.stroke.colour, nullptr);
    else
      svg.Line(x + 8, rowY, x + 30, rowY, e.stroke);
    svg.Text(x + 36, rowY + 4, e.label, 11);
  }
}

}  // namespace kvr::sim::report
