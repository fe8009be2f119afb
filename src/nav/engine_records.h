// The engine's path-query records as the mod reads and writes them: byte offsets of the one
// game build the mod was made for. The mod never includes engine headers, so every access goes
// through these offsets on raw memory (with memcpy, since engine memory has no C++ objects of
// ours in it).
//
//   PathQuery (136 bytes, copied whole): owner's object index, start, end, navigation-data id,
//                                         path instance to fill
//   AgentProperties: agent radius
//   PathResult (24 bytes): path object, shared-reference controller, result code
//   NavPath: point array, count, capacity, partial flag; points are 32-byte aps::NavPoint
//   reference controller: virtual table (slot 0 destroys the path, slot 1 frees the controller),
//                         shared count, weak count
#pragma once
#include <cstdint>
#include <cstring>

#include "aps/aps.h"

namespace kvr::game::engine {

inline constexpr size_t kPathQuerySize = 136;
inline constexpr uint32_t kQueryOwnerIndex = 0;
inline constexpr uint32_t kQueryStart = 8;
inline constexpr uint32_t kQueryEnd = 20;
inline constexpr uint32_t kQueryNavDataId = 0x40;
// The path instance to fill, a shared pointer (object and reference controller): set when the
// engine re-plans a path it follows, so that FindPath refills that object.
inline constexpr uint32_t kQueryPathToFill = 0x48;
inline constexpr size_t kQueryPathToFillSize = 16;

inline constexpr uint32_t kAgentRadius = 4;

inline constexpr size_t kPathResultSize = 24;
inline constexpr uint32_t kResultPath = 0;
inline constexpr uint32_t kResultController = 8;
inline constexpr uint32_t kResultCode = 16;
inline constexpr int32_t kResultSuccess = 3;

inline constexpr uint32_t kPathPoints = 0x28;
inline constexpr uint32_t kPathCount = 0x30;
inline constexpr uint32_t kPathCapacity = 0x34;
inline constexpr uint32_t kPathFlags = 0x98;
inline constexpr uint8_t kPathPartialBit = 4;
// Largest point count the mod accepts from (or writes into) an engine path.
inline constexpr int32_t kMaxPathPoints = 99999;

inline constexpr uint32_t kControllerSharedCount = 8;
inline constexpr uint32_t kControllerWeakCount = 12;

template <typename T>
T ReadAt(const void* base, uint32_t offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof(T));
  return value;
}

template <typename T>
void WriteAt(void* base, uint32_t offset, const T& value) {
  std::memcpy(static_cast<unsigned char*>(base) + offset, &value, sizeof(T));
}

// The point array of a path object as the engine left it.
struct PathPoints {
  aps::NavPoint* points = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  // A present array whose count is 1..99999 and fits its capacity.
  bool Usable() const {
    return points && count >= 1 && count <= kMaxPathPoints && capacity >= count;
  }
};

inline PathPoints ReadPathPoints(const void* path) {
  return {ReadAt<aps::NavPoint*>(path, kPathPoints), ReadAt<int32_t>(path, kPathCount),
          ReadAt<int32_t>(path, kPathCapacity)};
}

inline bool PathIsPartial(const void* path) {
  return (ReadAt<uint8_t>(path, kPathFlags) & kPathPartialBit) != 0;
}

}  // namespace kvr::game::engine
