#include "sim/game_objects.h"

#include <atomic>
#include <string>

namespace kvr::sim {

namespace {

// "Thug_7" with "_Root" gives "Thug_Root_7": the number stays last, where the engine keeps it
// out of its name table, so parts of thugs spawned for hours share a few entries.
std::wstring Part(std::wstring_view name, const wchar_t* suffix) {
  const size_t underscore = name.rfind(L'_');
  const bool numbered = underscore != std::wstring_view::npos && underscore + 1 < name.size() &&
                        name.find_first_not_of(L"0123456789", underscore + 1) == name.npos;
  if (!numbered) return std::wstring(name) + suffix;
  return std::wstring(name.substr(0, underscore)) + suffix + std::wstring(name.substr(underscore));
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

// Every part is spawned hidden and revealed by the caller once all of them are wired up, so
// another thread (the game thread's discovery, say) never finds one half built.
const SpawnOptions kHidden{.hidden = true};
const SpawnOptions kHiddenTicking{.ticks = true, .hidden = true};

CharacterObjects SpawnCharacterHidden(World& world, const GameClasses& g, Class& pawnClass,
                                      std::wstring_view name, const aps::Vec3& location,
                                      UObject* controller) {
  CharacterObjects c;
  c.pawn = world.Spawn(pawnClass, name, kHiddenTicking);
  c.root = world.Spawn(*g.sceneComponent, Part(name, L"_Root"), kHidden);
  c.movement = world.Spawn(*g.movementComponent, Part(name, L"_Movement"), kHidden);
  if (!c.pawn || !c.root || !c.movement) {
    DestroyCharacter(world, c);
    return {};
  }
  SetPointer(world, c.pawn, L"RootComponent", c.root);
  SetPointer(world, c.pawn, L"CharacterMovement", c.movement);
  SetLocation(world, c.root, location);
  if (controller) {
    SetPointer(world, controller, L"Pawn", c.pawn);
    SetPointer(world, c.pawn, L"Controller", controller);
  }
  return c;
}

void Reveal(World& world, std::initializer_list<UObject*> parts) {
  for (UObject* part : parts) world.Reveal(part);
}

}  // namespace

CharacterObjects SpawnCharacter(World& world, const GameClasses& g, Class& pawnClass,
                                std::wstring_view name, const aps::Vec3& location,
                                UObject* controller) {
  const CharacterObjects c = SpawnCharacterHidden(world, g, pawnClass, name, location, controller);
  Reveal(world, {c.root, c.movement, c.pawn});
  return c;
}

void DestroyCharacter(World& world, const CharacterObjects& character) {
  for (UObject* part : {character.pawn, character.root, character.movement}) {
    if (part) world.Destroy(part);
  }
}

ThugObjects SpawnThug(World& world, const GameClasses& g, Class& controllerClass, Class& pawnClass,
                      std::wstring_view name, const aps::Vec3& location) {
  UObject* controller = world.Spawn(controllerClass, Part(name, L"_Controller"), kHiddenTicking);
  if (!controller) return {};
  const CharacterObjects c = SpawnCharacterHidden(world, g, pawnClass, name, location, controller);
  if (!c.pawn) {
    world.Destroy(controller);
    return {};
  }
  Reveal(world, {c.root, c.movement, c.pawn, controller});
  return {controller, c.pawn, c.root, c.movement};
}

void DestroyThug(World& world, const ThugObjects& thug) {
  for (UObject* part : {thug.controller, thug.pawn, thug.root, thug.movement}) {
    if (part) world.Destroy(part);
  }
}

PlayerObjects SpawnPlayer(World& world, const GameClasses& g, std::wstring_view name,
                          const aps::Vec3& location) {
  PlayerObjects p;
  p.controller = world.Spawn(*g.playerController, Part(name, L"_Controller"), kHiddenTicking);
  p.cameraManager = world.Spawn(*g.cameraManager, Part(name, L"_CameraManager"), kHiddenTicking);
  p.localPlayer = world.Spawn(*g.localPlayer, Part(name, L"_LocalPlayer"), kHidden);
  const CharacterObjects c =
      p.controller ? SpawnCharacterHidden(world, g, *g.player, name, location, p.controller)
                   : CharacterObjects{};
  if (!c.pawn || !p.cameraManager || !p.localPlayer) {
    for (UObject* made : {p.controller, p.cameraManager, p.localPlayer}) {
      if (made) world.Destroy(made);
    }
    DestroyCharacter(world, c);
    return {};
  }
  p.pawn = c.pawn;
  p.root = c.root;
  p.movement = c.movement;
  SetPointer(world, p.controller, L"PlayerCameraManager", p.cameraManager);
  SetPointer(world, p.controller, L"Player", p.localPlayer);
  Reveal(world, {p.root, p.movement, p.pawn, p.localPlayer, p.cameraManager, p.controller});
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
