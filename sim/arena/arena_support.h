// Small helpers of the arena: horizontal geometry (distances and directions on the floor, x and
// y; angles in degrees as the engine's rotators keep them) and object names.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>

#include "aps/aps.h"

namespace kvr::sim {

inline constexpr float kDegrees = 57.29577951308232f;  // per radian

// Plain square roots: arena distances never come near float overflow, and hypot costs more.
inline float FloorDistance(const aps::Vec3& a, const aps::Vec3& b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  return std::sqrt(dx * dx + dy * dy);
}

// Unit vector from a to b on the floor; zero when they (nearly) coincide.
inline aps::Vec3 FloorDirection(const aps::Vec3& a, const aps::Vec3& b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  const float len = std::sqrt(dx * dx + dy * dy);
  if (len < 1e-3f) return {};
  return {dx / len, dy / len, 0.0f};
}

inline float FloorLength(const aps::Vec3& v) {
  return std::sqrt(v.x * v.x + v.y * v.y);
}

inline aps::Vec3 Scaled(const aps::Vec3& v, float s) {
  return {v.x * s, v.y * s, v.z * s};
}

inline aps::Vec3 Plus(const aps::Vec3& a, const aps::Vec3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}

// The heading of a floor direction, degrees.
inline float YawOf(const aps::Vec3& v) {
  return std::atan2(v.y, v.x) * kDegrees;
}

// b - a folded into -180..180.
inline float AngleBetween(float a, float b) {
  float d = std::fmod(b - a, 360.0f);
  if (d > 180.0f) d -= 360.0f;
  if (d < -180.0f) d += 360.0f;
  return d;
}

// "<stem>_<serial>": every object the arena spawns gets a name of its own.
inline std::wstring Numbered(const wchar_t* stem, uint32_t serial) {
  return std::wstring(stem) + L"_" + std::to_wstring(serial);
}

}  // namespace kvr::sim
