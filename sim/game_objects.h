// Spawning the game's objects the way a level holds them: a thug is a controller possessing a
// pawn with a root component and a movement component; the player comes with its controller,
// camera manager and local player; a navmesh carries its five path-function slots.
#pragma once
#include <string_view>

#include "sim/game_classes.h"

namespace kvr::sim {

struct ThugObjects {
  UObject* controller = nullptr;
  UObject* pawn = nullptr;
  UObject* root = nullptr;
  UObject* movement = nullptr;
};

struct PlayerObjects {
  UObject* pawn = nullptr;
  UObject* root = nullptr;
  UObject* movement = nullptr;
  UObject* controller = nullptr;
  UObject* cameraManager = nullptr;
  UObject* localPlayer = nullptr;
};

// A character: a ticking pawn named `name` with its root component ("<name>_Root", at
// `location`; a numbered name keeps its number last: "Thug_7" has "Thug_Root_7") and movement
// component ("<name>_Movement"), possessed by `controller` when that is
// not null. All null when any part could not be spawned (the parts that were are destroyed).
struct CharacterObjects {
  UObject* pawn = nullptr;
  UObject* root = nullptr;
  UObject* movement = nullptr;
};
CharacterObjects SpawnCharacter(World& world, const GameClasses& g, Class& pawnClass,
                                std::wstring_view name, const aps::Vec3& location,
                                UObject* controller);
// Destroys every part that still lives.
void DestroyCharacter(World& world, const CharacterObjects& character);

// Controller and pawn tick; names are derived from `name` ("<name>_Controller", ...). All null
// when any part could not be spawned (the parts that were are destroyed again).
ThugObjects SpawnThug(World& world, const GameClasses& g, Class& controllerClass, Class& pawnClass,
                      std::wstring_view name, const aps::Vec3& location);
PlayerObjects SpawnPlayer(World& world, const GameClasses& g, std::wstring_view name,
                          const aps::Vec3& location);
// Destroys every part of a thug that still lives.
void DestroyThug(World& world, const ThugObjects& thug);

// A navmesh whose slots hold `slots` (FindPath, hierarchical FindPath, TestPath,
// TestHierarchical, Raycast) and whose NavDataConfig.DefaultQueryExtent is `extent`.
UObject* SpawnNavMesh(World& world, const GameClasses& g, std::wstring_view name,
                      void* const (&slots)[kNavSlotCount], const aps::Vec3& extent);
void* NavSlot(const UObject* navmesh, int slot);
void SetNavSlot(UObject* navmesh, int slot, void* function);

}  // namespace kvr::sim
