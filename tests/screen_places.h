// Checks a picture of the arena against the places its maker says it drew things at (the
// "PATH.txt" beside a screenshot of kvr-viewer or of the stand-in host's window): route lines
// in an approach style's colour along the projected route points, thugs' bodies at their
// projected centres. The places come from the overlay's projection, so a picture whose routes
// or bodies land anywhere else fails.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "aps/aps.h"
#include "sim/png_file.h"
#include "test_support.h"

namespace kvr::test {

struct Spot {
  float x = 0, y = 0;
};

struct Body {
  Spot centre;
  float radius = 0;
  // "" in plain sight, "partly" or "hidden" when the level's obstacles hide some or all of it
  // from the camera (as the picture's maker worked it out by casting sight lines).
  std::string sight;
};

struct ScreenPlaces {
  std::vector<Body> thugs;
  std::vector<Body> players;
  std::vector<std::vector<std::optional<Spot>>> routes;  // nullopt: the point is not visible
  int liveThugs = -1;  // "thugs N avoiding M" (the stand-in host's files)
  int avoiding = -1;
};

inline std::optional<Spot> ParseSpot(const std::string& word) {
  Spot s;
  if (std::sscanf(word.c_str(), "%f,%f", &s.x, &s.y) != 2) return std::nullopt;
  return s;
}

inline ScreenPlaces ReadPlaces(const std::string& path) {
  ScreenPlaces places;
  std::istringstream lines(ReadFile(path));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind, word;
    words >> kind;
    if (kind == "route") {
      auto& route = places.routes.emplace_back();
      while (words >> word) route.push_back(ParseSpot(word));
    } else if (kind == "thug" || kind == "player") {
      Body body;
      words >> word >> body.radius >> body.sight;
      if (auto at = ParseSpot(word)) body.centre = *at;
      (kind == "thug" ? places.thugs : places.players).push_back(body);
    } else if (kind == "thugs") {
      words >> places.liveThugs >> word >> places.avoiding;
    }
  }
  return places;
}

// Near an approach style's colour, as the overlay blends it (alpha 230) over any background.
inline bool IsRouteColour(const uint8_t* p) {
  for (int style = 0; style < aps::kStyleCount; ++style) {
    const uint32_t c = aps::Style(style).colour;
    if (std::abs(p[0] - int((c >> 16) & 0xFF)) <= 40 &&
        std::abs(p[1] - int((c >> 8) & 0xFF)) <= 40 && std::abs(p[2] - int(c & 0xFF)) <= 40)
      return true;
  }
  return false;
}

struct Rect {
  float x0, y0, x1, y1;
  bool Holds(Spot s, float margin) const {
    return s.x >= x0 - margin && s.x <= x1 + margin && s.y >= y0 - margin && s.y <= y1 + margin;
  }
};

struct RouteCheck {
  int samples = 0;   // points along visible route segments, on the picture and not hidden
  int coloured = 0;  // ... with a route-coloured pixel within 2 pixels
};

// Samples every segment between two visible route points a quarter, half and three quarters of
// the way, skipping samples off the picture or inside `hidden` (a window drawn over the routes).
inline RouteCheck CheckRoutes(const sim::Image& image, const ScreenPlaces& places,
                              const std::vector<Rect>& hidden = {}) {
  RouteCheck check;
  const Rect picture{3, 3, float(image.width - 4), float(image.height - 4)};
  for (const auto& route : places.routes) {
    for (size_t i = 0; i + 1 < route.size(); ++i) {
      if (!route[i] || !route[i + 1]) continue;
      for (float t : {0.25f, 0.5f, 0.75f}) {
        const Spot s{route[i]->x + (route[i + 1]->x - route[i]->x) * t,
                     route[i]->y + (route[i + 1]->y - route[i]->y) * t};
        bool covered = !picture.Holds(s, 0);
        for (const Rect& r : hidden) covered = covered || r.Holds(s, 4);
        if (covered) continue;
        ++check.samples;
        bool found = false;
        for (int dy = -2; dy <= 2 && !found; ++dy)
          for (int dx = -2; dx <= 2 && !found; ++dx)
            found = IsRouteColour(image.At(int(s.x) + dx, int(s.y) + dy));
        check.coloured += found;
      }
    }
  }
  return check;
}

// The share of the pixels within half the body's radius that have the colour.
inline float BodyShare(const sim::Image& image, const Body& body, int r, int g, int b) {
  const int reach = std::max(1, int(body.radius * 0.5f));
  int inside = 0, matching = 0;
  for (int dy = -reach; dy <= reach; ++dy) {
    for (int dx = -reach; dx <= reach; ++dx) {
      const int x = int(body.centre.x) + dx, y = int(body.centre.y) + dy;
      if (dx * dx + dy * dy > reach * reach || x < 0 || y < 0 || x >= image.width ||
          y >= image.height)
        continue;
      const uint8_t* p = image.At(x, y);
      ++inside;
      matching += std::abs(p[0] - r) + std::abs(p[1] - g) + std::abs(p[2] - b) < 40;
    }
  }
  return inside ? float(matching) / float(inside) : 0.0f;
}

}  // namespace kvr::test
