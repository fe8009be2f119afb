// An exact, call-counting INav for the arc tests: a flat floor at z = 0 with rectangular holes.
// Every query is counted and recorded, and tests can force failures or reshape found paths.
#pragma once
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "aps/aps.h"

namespace kvr::aps::test {

struct Rect {
  float minX, minY, maxX, maxY;
  bool StrictlyInside(float x, float y) const {
    return x > minX && x < maxX && y > minY && y < maxY;
  }
};

class FlatNav : public INav {
 public:
  Rect bounds{-5000.0f, -5000.0f, 5000.0f, 5000.0f};
  std::vector<Rect> holes;  // open interiors are off the floor; edges are walkable
  float heightTolerance = 250.0f;

  // Forcing: return true to make that query fail.
  std::function<bool(const Vec3&)> failProject;
  std::function<bool(const Vec3&, const Vec3&)> failPath;
  std::function<bool(const Vec3&, const Vec3&)> failSight;
  // Every successful projection lands here instead (all apexes and probes coincide).
  std::optional<Vec3> snapTo;
  // Edits each path found (after the default one is built).
  std::function<void(const Vec3& from, const Vec3& to, Route& points)> shapePath;

  int projectCalls = 0;
  int pathCalls = 0;
  int sightCalls = 0;
  std::vector<Vec3> projectQueries;
  std::vector<std::pair<Vec3, Vec3>> pathQueries;
  std::vector<std::pair<Vec3, Vec3>> sightQueries;

  bool ProjectPoint(const Vec3& point, Vec3& projected) override {
    ++projectCalls;
    projectQueries.push_back(point);
    if (failProject && failProject(point)) return false;
    if (std::fabs(point.z) > heightTolerance || !OnFloor(point)) return false;
    projected = snapTo ? *snapTo : Vec3{point.x, point.y, 0.0f};
    return true;
  }

  // A straight path when the line is open, else the shortest detour over one or two corners
  // of the holes (pushed 1 cm outwards). Every point carries the call number as node ref.
  bool FindPath(const Vec3& from, const Vec3& to, Route& points) override {
    ++pathCalls;
    pathQueries.emplace_back(from, to);
    points.clear();
    if (failPath && failPath(from, to)) return false;
    if (!OnFloor(from) || !OnFloor(to)) return false;
    std::vector<Vec3> via;
    if (!SegmentOpen(from, to) && !Detour(from, to, via)) return false;
    Append(points, from);
    for (const Vec3& v : via) Append(points, v);
    Append(points, to);
    if (shapePath) shapePath(from, to, points);
    return true;
  }

  bool HasLineOfSight(const Vec3& from, const Vec3& to) override {
    ++sightCalls;
    sightQueries.emplace_back(from, to);
    if (failSight && failSight(from, to)) return false;
    return SegmentOpen(from, to);
  }

  bool OnFloor(const Vec3& p) const {
    if (p.x < bounds.minX || p.x > bounds.maxX || p.y < bounds.minY || p.y > bounds.maxY)
      return false;
    for (const Rect& h : holes)
      if (h.StrictlyInside(p.x, p.y)) return false;
    return true;
  }

  // Open when both ends are on the floor and no hole's interior is crossed. The part of the
  // segment inside a hole's closed box is clipped; it crosses the interior exactly when its
  // midpoint is strictly inside (running along an edge is allowed).
  bool SegmentOpen(const Vec3& a, const Vec3& b) const {
    if (!OnFloor(a) || !OnFloor(b)) return false;
    for (const Rect& h : holes) {
      float t0 = 0.0f, t1 = 1.0f;
      if (!Clip(a.x, b.x - a.x, h.minX, h.maxX, t0, t1)) continue;
      if (!Clip(a.y, b.y - a.y, h.minY, h.maxY, t0, t1)) continue;
      const float tm = 0.5f * (t0 + t1);
      if (h.StrictlyInside(a.x + tm * (b.x - a.x), a.y + tm * (b.y - a.y))) return false;
    }
    return true;
  }

 private:
  static bool Clip(float start, float delta, float lo, float hi, float& t0, float& t1) {
    if (delta == 0.0f) return start >= lo && start <= hi;
    float ta = (lo - start) / delta, tb = (hi - start) / delta;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    return t0 <= t1;
  }

  void Append(Route& points, const Vec3& location) const {
    NavPoint p;
    p.location = location;
    p.nodeRef = static_cast<uint64_t>(pathCalls);
    points.push_back(p);
  }

  static float Dist(const Vec3& a, const Vec3& b) { return std::hypot(b.x - a.x, b.y - a.y); }

  std::vector<Vec3> Corners() const {
    std::vector<Vec3> corners;
    for (const Rect& h : holes) {
      corners.push_back({h.minX - 1.0f, h.minY - 1.0f, 0.0f});
      corners.push_back({h.maxX + 1.0f, h.minY - 1.0f, 0.0f});
      corners.push_back({h.maxX + 1.0f, h.maxY + 1.0f, 0.0f});
      corners.push_back({h.minX - 1.0f, h.maxY + 1.0f, 0.0f});
    }
    return corners;
  }

  bool Detour(const Vec3& from, const Vec3& to, std::vector<Vec3>& via) const {
    const std::vector<Vec3> corners = Corners();
    float best = INFINITY;
    for (const Vec3& c : corners) {
      if (!SegmentOpen(from, c) || !SegmentOpen(c, to)) continue;
      const float length = Dist(from, c) + Dist(c, to);
      if (length < best) best = length, via = {c};
    }
    if (!via.empty()) return true;
    for (const Vec3& c1 : corners)
      for (const Vec3& c2 : corners) {
        if (!SegmentOpen(from, c1) || !SegmentOpen(c1, c2) || !SegmentOpen(c2, to)) continue;
        const float length = Dist(from, c1) + Dist(c1, c2) + Dist(c2, to);
        if (length < best) best = length, via = {c1, c2};
      }
    return !via.empty();
  }
};

inline ArcParams ParamsFor(float strength, int humps = 1) {
  ArcParams params;
  params.strength = strength;
  params.humps = humps;
  return params;
}

inline NavPoint Pt(float x, float y, float z = 0.0f) {
  NavPoint p;
  p.location = {x, y, z};
  return p;
}

inline Route RouteOf(std::initializer_list<Vec3> points) {
  Route route;
  for (const Vec3& v : points) route.push_back(Pt(v.x, v.y, v.z));
  return route;
}

}  // namespace kvr::aps::test
