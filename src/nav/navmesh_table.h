// The navmeshes the mod knows, and the swapping of their FindPath slots.
//
// A navmesh object keeps its path functions as pointers at fixed offsets. The mod writes its
// own FindPathHook into the two FindPath slots and keeps the engine's pointers, so the hook can
// call the engine and the slots can be put back. Slots are only ever changed by single atomic
// 64-bit exchanges, because engine threads may call through them at any moment, and a slot is
// only restored while it still holds the mod's hook.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

#include "aps/aps.h"
#include "host/api/host.h"

namespace kvr::game {

struct HookRuntime;

// Byte offsets of the path-function slots in a navmesh object.
inline constexpr uint32_t kSlotFindPath = 0x2B8;
inline constexpr uint32_t kSlotFindPathHierarchical = 0x2C0;
inline constexpr uint32_t kSlotTestPath = 0x2C8;
inline constexpr uint32_t kSlotTestHierarchical = 0x2D0;
inline constexpr uint32_t kSlotRaycast = 0x2D8;

// The engine's FindPath convention: the hidden result record first, returned again.
using FindPathFn = void* (*)(void* result, const void* agent, const void* query);

struct NavMeshRecord {
  host::UObject* navmesh = nullptr;
  int32_t id = -1;
  bool hooked = false;
  FindPathFn savedFindPath = nullptr;              // kept after a restore
  FindPathFn savedFindPathHierarchical = nullptr;  // kept after a restore
  // A restore found a FindPath slot changed by somebody else (another mod chained over ours):
  // whoever did it may later put FindPathHook back, after this mod object is gone.
  bool slotTakenOver = false;
  aps::Vec3 queryExtent{50.0f, 50.0f, 250.0f};
  std::string status;  // empty until the first installation attempt
};

using NavMeshTable = std::unordered_map<const host::UObject*, NavMeshRecord>;

// Checks the record's slots against the verified layout and, when they pass, swaps both FindPath
// slots for FindPathHook; the outcome goes into the record's status and the log. Called by the
// per-frame update's discovery for records never tried, or hooked before and restored since.
// Caller holds the state lock.
void InstallNavHooks(HookRuntime& rt, NavMeshRecord& record);

// The function the mod writes into the FindPath slots.
void* FindPathHook(void* result, const void* agent, const void* query);

// The slot at `offset` of a navmesh object, read atomically.
uintptr_t ReadSlot(const host::UObject* navmesh, uint32_t offset);

// Puts `value` into the slot with one atomic exchange; returns what the slot held.
uintptr_t ExchangeSlot(host::UObject* navmesh, uint32_t offset, uintptr_t value);

// Puts `value` into the slot only while it holds `expected`; true when it did.
bool ExchangeSlotIf(host::UObject* navmesh, uint32_t offset, uintptr_t expected, uintptr_t value);

// For every hooked record: both FindPath slots get the saved engine pointers back where they
// still hold FindPathHook (a slot someone else changed is left alone and the record marked
// slotTakenOver); a null saved pointer is never written. The record becomes unhooked and keeps
// its saved pointers. Caller holds the state lock.
void RestoreNavHooks(NavMeshTable& table);

// True when a slot of `table`'s navmeshes may come to hold FindPathHook again after the mod
// object that owns the table is gone (a restore found another mod's function over ours): the
// next mod object must then know the engine's FindPath from the start. (Slots left hooked at
// the game's exit need nothing: no mod object follows.)
bool HookMayOutliveTable(const NavMeshTable& table);

}  // namespace kvr::game
