// The game's classes, properties and functions, as the mod finds them by name: thug controllers
// and pawns, the player character with its controller, camera manager and local player, the
// character movement component, navmeshes and the navigation system.
//
// Only layout and engine-side functions live here; gameplay (movement, path queries, combat)
// hangs off the world's frame hooks and the navmesh slots.
#pragma once
#include <cstdint>

#include "sim/world.h"

namespace kvr::sim {

// The navmesh's five path-function slots: FindPath, hierarchical FindPath, TestPath,
// TestHierarchical, Raycast. Raw memory, not reflected, as in the game.
inline constexpr int32_t kNavSlotsOffset = 0x2B8;
inline constexpr int32_t kNavSlotCount = 5;
// Where NavDataConfig.DefaultQueryExtent ends up inside a navmesh.
inline constexpr int32_t kDefaultQueryExtentOffset = 620;
inline constexpr const wchar_t* kNavigationSystemPath =
    L"/Script/NavigationSystem.Default__NavigationSystemV1";

struct GameClasses {
  Class* object = nullptr;
  Class* actor = nullptr;
  Class* actorComponent = nullptr;
  Class* sceneComponent = nullptr;
  Class* movementComponent = nullptr;  // CharacterMovementComponent
  Class* pawn = nullptr;
  Class* character = nullptr;
  Class* controller = nullptr;
  Class* aiController = nullptr;
  Class* baseAIController = nullptr;   // BP_BaseAIController_C
  Class* armedAIController = nullptr;  // BP_ArmedAIController_C (derives from the base one)
  Class* bossAIController = nullptr;   // BP_BossThugAIController_C (derives from the armed one)
  Class* thug = nullptr;               // BP_ThugBase_C
  Class* armedThug = nullptr;          // BP_ArmedThug_C
  Class* bossThug = nullptr;           // BP_BossThug_C
  Class* playerController = nullptr;
  Class* player = nullptr;         // ThugLyfePlayerCharacter_C
  Class* cameraManager = nullptr;  // PlayerCameraManager
  Class* localPlayer = nullptr;
  Class* navigationData = nullptr;
  Class* recastNavMesh = nullptr;
  Class* navigationSystem = nullptr;  // NavigationSystemV1
  Struct* navDataConfig = nullptr;
  UObject* navigationSystemDefault = nullptr;  // its class default object
};

// Defines every class above, with a class default object each. Call once per world.
GameClasses RegisterGameClasses(World& world);

// The navigation system's native functions, answered by the world's INav (defined by
// RegisterGameClasses; exposed for the tests of their bodies).
void DefineNavigationFunctions(World& world, Class& navigationSystem);

}  // namespace kvr::sim
