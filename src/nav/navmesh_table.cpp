#include "nav/navmesh_table.h"

#include <atomic>

namespace kvr::game {

namespace {

std::atomic_ref<uintptr_t> SlotRef(const host::UObject* navmesh, uint32_t offset) {
  auto* slot = reinterpret_cast<uintptr_t*>(reinterpret_cast<uintptr_t>(navmesh) + offset);
  return std::atomic_ref<uintptr_t>(*slot);
}

uintptr_t HookAddress() {
  return reinterpret_cast<uintptr_t>(&FindPathHook);
}

}  // namespace

uintptr_t ReadSlot(const host::UObject* navmesh, uint32_t offset) {
  return SlotRef(navmesh, offset).load();
}

uintptr_t ExchangeSlot(host::UObject* navmesh, uint32_t offset, uintptr_t value) {
  return SlotRef(navmesh, offset).exchange(value);
}

bool ExchangeSlotIf(host::UObject* navmesh, uint32_t offset, uintptr_t expected, uintptr_t value) {
  return SlotRef(navmesh, offset).compare_exchange_strong(expected, value);
}

void RestoreNavHooks(NavMeshTable& table) {
  for (auto& [object, record] : table) {
    if (!record.hooked) continue;
    // Without a saved pointer the hook stays: it still answers through the accepted FindPath,
    // where a null slot would send the engine's next query to address 0.
    if (record.navmesh && record.savedFindPath &&
        !ExchangeSlotIf(record.navmesh, kSlotFindPath, HookAddress(),
                        reinterpret_cast<uintptr_t>(record.savedFindPath))) {
      record.slotTakenOver = true;
    }
    if (record.navmesh && record.savedFindPathHierarchical &&
        !ExchangeSlotIf(record.navmesh, kSlotFindPathHierarchical, HookAddress(),
                        reinterpret_cast<uintptr_t>(record.savedFindPathHierarchical))) {
      record.slotTakenOver = true;
    }
    record.hooked = false;
  }
}

bool HookMayOutliveTable(const NavMeshTable& table) {
  for (const auto& [object, record] : table) {
    if (record.slotTakenOver) return true;
  }
  return false;
}

}  // namespace kvr::game
