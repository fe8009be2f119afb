// Horizontal (x, y) vector helpers shared by the arc builder, the scorer and the clean-up
// passes. All arithmetic is float32 so results match bit for bit wherever they are computed.
#pragma once
#include <cmath>

#include "aps/aps.h"

namespace kvr::aps {

inline constexpr float kPi = 3.1415927f;

inline Vec3 Sub(const Vec3& a, const Vec3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}

inline bool IsFinite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

inline float HorizontalLengthSq(const Vec3& d) {
  return d.x * d.x + d.y * d.y;
}

inline float HorizontalDot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y;
}

inline float HorizontalDistance(const Vec3& a, const Vec3& b) {
  return std::sqrt(HorizontalLengthSq(Sub(b, a)));
}

// Unit vector of (d.x, d.y) with z = 0. An exact unit length is kept untouched (no rounding
// drift), and a near-zero difference gives (0, 0) rather than a blown-up direction.
inline Vec3 HorizontalUnit(const Vec3& d) {
  const float lengthSq = HorizontalLengthSq(d);
  if (lengthSq == 1.0f) return {d.x, d.y, 0.0f};
  if (lengthSq < 1e-8f) return {0.0f, 0.0f, 0.0f};
  const float length = std::sqrt(lengthSq);
  return {d.x / length, d.y / length, 0.0f};
}

// True when a and b differ by at most tolerance on each of x, y and z.
inline bool WithinPerAxis(const Vec3& a, const Vec3& b, float tolerance) {
  return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
         std::fabs(a.z - b.z) <= tolerance;
}

// Sum of the horizontal lengths of the route's segments.
inline float HorizontalRouteLength(const Route& route) {
  float length = 0.0f;
  for (size_t i = 1; i < route.size(); ++i)
    length += HorizontalDistance(route[i - 1].location, route[i].location);
  return length;
}

}  // namespace kvr::aps
