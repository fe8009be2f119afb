#include "sim/game_objects.h"

#include <atomic>
#include <string>

namespace kvr::sim {

namespace {

std::wstring Part(std::wstring_view name, const wchar_t* suffix) {
  return std::wstring(name) + suffix;
}

void SetPointer(World& world, UObject* object, std::wstring_view name, UObject* value) {
  if (auto* field = world.Field<UObject*>(object, name)) *field = value;
}

void SetLocation(World& world, UObject* root, const aps::Vec3& location) {
  if (auto* field = world.Field<aps::Vec3>(root, L"RelativeLocation")) *field = location;
}

// The engine may call through the slots from any thread, so they are read and written whole.
std::atomic_ref<void*> Slot(const UObject* navmesh, int slot) {
  auto* base = reinterpret_cast<unsigned char*>(const_cast<UObject*>(navmesh));
  return std::atomic_ref<void*>(reinterpret_cast<void**>(base + kNavSlotsOffset)[slot]);
}

}  // namespace

ThugObjects SpawnThug(World& world, const GameClasses& g, Class& controllerClass, Class& pawnClass,
                      std::wstring_view name, const aps::Vec3& location) {
  SpawnOptions ticking;
  ticking.ticks = true;
  ThugObjects t;
  t.controller = world.Spawn(controllerClass, Part(name, L"_Controller"), ticking);
  t.pawn = world.Spawn(pawnClass, name, ticking);
  t.root = world.Spawn(*g.sceneComponent, Part(name, L"_Root"));
  t.movement = world.Spawn(*g.movementComponent, Part(name, L"_Movement"));
  if (!t.controller || !t.pawn || !t.root || !t.movement) {
    DestroyThug(world, t);
    return {};
  }
  SetPointer(world, t.controller, L"Pawn", t.pawn);
  SetPointer(world, t.pawn, L"Controller", t.controller);
  SetPointer(world, t.pawn, L"RootComponent", t.root);
  SetPointer(world, t.pawn, L"CharacterMovement", t.movement);
  SetLocation(world, t.root, location);
  return t;
}

void DestroyThug(World& world, const ThugObjects& thug) {
  for (UObject* part : {thug.controller, thug.pawn, thug.root, thug.movement}) {
    if (part) world.Destroy(part);
  }
}

PlayerObjects SpawnPlayer(World& world, const GameClasses& g, std::wstring_view name,
                          const aps::Vec3& location) {
  SpawnOptions ticking;
  ticking.ticks = true;
  PlayerObjects p;
  p.pawn = world.Spawn(*g.player, name, ticking);
  p.root = world.Spawn(*g.sceneComponent, Part(name, L"_Root"));
  p.movement = world.Spawn(*g.movementComponent, Part(name, L"_Movement"));
  p.controller = world.Spawn(*g.playerController, Part(name, L"_Controller"), ticking);
  p.cameraManager = world.Spawn(*g.cameraManager, Part(name, L"_CameraManager"), ticking);
  p.localPlayer = world.Spawn(*g.localPlayer, Part(name, L"_LocalPlayer"));
  const UObject* parts[] = {p.pawn,       p.root,          p.movement,
                            p.controller, p.cameraManager, p.localPlayer};
  for (const UObject* part : parts) {
    if (part) continue;
    for (const UObject* made : parts) {
      if (made) world.Destroy(const_cast<UObject*>(made));
    }
    return {};
  }
  SetPointer(world, p.pawn, L"RootComponent", p.root);
  SetPointer(world, p.pawn, L"CharacterMovement", p.movement);
  SetPointer(world, p.pawn, L"Controller", p.controller);
  SetPointer(world, p.controller, L"Pawn", p.pawn);
  SetPointer(world, p.controller, L"PlayerCameraManager", p.cameraManager);
  SetPointer(world, p.controller, L"Player", p.localPlayer);
  SetLocation(world, p.root, location);
  return p;
}

UObject* SpawnNavMesh(World& world, const GameClasses& g, std::wstring_view name,
                      void* const (&slots)[kNavSlotCount], const aps::Vec3& extent) {
  UObject* navmesh = world.Spawn(*g.recastNavMesh, name);
  if (!navmesh) return nullptr;
  for (int i = 0; i < kNavSlotCount; ++i) SetNavSlot(navmesh, i, slots[i]);
  *reinterpret_cast<aps::Vec3*>(reinterpret_cast<unsigned char*>(navmesh) +
                                kDefaultQueryExtentOffset) = extent;
  return navmesh;
}

void* NavSlot(const UObject* navmesh, int slot) {
  if (!navmesh || slot < 0 || slot >= kNavSlotCount) return nullptr;
  return Slot(navmesh, slot).load();
}

void SetNavSlot(UObject* navmesh, int slot, void* function) {
  if (!navmesh || slot < 0 || slot >= kNavSlotCount) return;
  Slot(navmesh, slot).store(function);
}

}  // namespace kvr::sim
