// The engine's path-query records, byte for byte the supported game build's: what FindPath is
// given (the query and the agent), what it fills (the result), the path object it returns and
// the shared-reference controller that owns that object.
//
// Fields the mod relies on sit at their engine offsets; the others are the simulated engine's
// own and only travel along (the mod copies a query whole).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "aps/aps.h"

namespace kvr::sim {

class World;

// Result codes of a path query.
inline constexpr int32_t kPathInvalid = 0;
inline constexpr int32_t kPathError = 1;
inline constexpr int32_t kPathFail = 2;
inline constexpr int32_t kPathSuccess = 3;

struct NavPath;
struct PathReferenceController;

struct PathQuery {
  int32_t ownerIndex = -1;  // the querying object's internal index (its weak reference)
  int32_t ownerSerial = 0;
  aps::Vec3 start;
  aps::Vec3 end;
  uint8_t engineData0[0x40 - 32] = {};
  int32_t navDataId = -1;  // the navmesh's internal index (its weak reference)
  int32_t navDataSerial = 0;
  // The path instance to fill, a shared pointer (object, reference controller): a re-plan of
  // a path being followed asks FindPath to refill that very object rather than make a new one.
  NavPath* pathToFill = nullptr;
  PathReferenceController* pathToFillController = nullptr;
  uint8_t engineData1[0x80 - 0x58] = {};
  World* world = nullptr;  // the simulated engine's query context
};
static_assert(sizeof(PathQuery) == 136);
static_assert(offsetof(PathQuery, start) == 8);
static_assert(offsetof(PathQuery, end) == 20);
static_assert(offsetof(PathQuery, navDataId) == 0x40);
static_assert(offsetof(PathQuery, pathToFill) == 0x48);
static_assert(offsetof(PathQuery, pathToFillController) == 0x50);

struct AgentProperties {
  uint32_t flags = 0;
  float agentRadius = 34.0f;
  float agentHeight = 144.0f;
  float agentStepHeight = -1.0f;
  float navWalkingSearchHeightScale = 0.5f;
  uint32_t padding = 0;
  const void* preferredNavData = nullptr;
};
static_assert(offsetof(AgentProperties, agentRadius) == 4);

struct PathResult {
  NavPath* path = nullptr;
  PathReferenceController* controller = nullptr;
  int32_t result = kPathInvalid;
  int32_t padding = 0;
};
static_assert(sizeof(PathResult) == 24);
static_assert(offsetof(PathResult, result) == 16);

inline constexpr uint8_t kNavPathPartialBit = 4;

struct NavPath {
  const void* vtable = nullptr;
  uint8_t engineData0[0x28 - 8] = {};
  aps::NavPoint* points = nullptr;  // from the engine allocator
  int32_t count = 0;
  int32_t capacity = 0;
  uint8_t engineData1[0x98 - 0x38] = {};
  uint8_t flags = 0;  // kNavPathPartialBit: the goal was not reached
  uint8_t engineData2[7] = {};
  World* world = nullptr;  // whose allocator owns the blocks
};
static_assert(offsetof(NavPath, points) == 0x28);
static_assert(offsetof(NavPath, count) == 0x30);
static_assert(offsetof(NavPath, capacity) == 0x34);
static_assert(offsetof(NavPath, flags) == 0x98);

// Slot 0 destroys the path object, slot 1 (called with 1) frees the controller.
struct PathReferenceVtable {
  void (*destroyObject)(PathReferenceController* self);
  void (*deletingDestructor)(PathReferenceController* self, uint32_t flags);
};

struct PathReferenceController {
  const PathReferenceVtable* vtable = nullptr;
  int32_t sharedCount = 1;
  int32_t weakCount = 1;
  NavPath* path = nullptr;
  World* world = nullptr;
};
static_assert(offsetof(PathReferenceController, sharedCount) == 8);
static_assert(offsetof(PathReferenceController, weakCount) == 12);

// Drops one shared reference the way the engine's shared pointers do: the path goes with the
// last shared reference, the controller with the last weak one. Null is ignored.
void ReleasePathReference(PathReferenceController* controller);

}  // namespace kvr::sim
