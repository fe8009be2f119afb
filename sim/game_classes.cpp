#include "sim/game_classes.h"

#include <algorithm>

namespace kvr::sim {

namespace {

constexpr const wchar_t* kEngine = L"/Script/Engine";
constexpr const wchar_t* kAIModule = L"/Script/AIModule";
constexpr const wchar_t* kNavigation = L"/Script/NavigationSystem";
constexpr const wchar_t* kGame = L"/Game/Blueprints";

void DefineActors(World& world, GameClasses& g) {
  g.object = &world.DefineClass(L"/Script/CoreUObject", L"Object", nullptr);
  g.actor = &world.DefineClass(kEngine, L"Actor", g.object);
  g.actor->AddObject(L"RootComponent");
  Function& tick = world.DefineFunction(*g.actor, L"ReceiveTick");
  tick.AddFloat(L"DeltaSeconds");
  tick.Seal();
  g.actorComponent = &world.DefineClass(kEngine, L"ActorComponent", g.object);
  g.sceneComponent = &world.DefineClass(kEngine, L"SceneComponent", g.actorComponent);
  g.sceneComponent->AddStruct(L"RelativeLocation", world.VectorStruct());
  g.sceneComponent->AddStruct(L"RelativeRotation", world.RotatorStruct());
}

void DefineMovement(World& world, GameClasses& g) {
  g.movementComponent =
      &world.DefineClass(kEngine, L"CharacterMovementComponent", g.actorComponent);
  Class& c = *g.movementComponent;
  c.AddStruct(L"Velocity", world.VectorStruct());
  c.AddFloat(L"MaxWalkSpeed");
  // The engine keeps its movement flags as bitfields; RVO avoidance is the tenth bit, so it sits
  // in the second byte of the word.
  for (const wchar_t* flag :
       {L"bOrientRotationToMovement", L"bUseControllerDesiredRotation", L"bForceMaxAccel",
        L"bRunPhysicsWithNoController", L"bForceNextFloorCheck", L"bShrinkProxyCapsule",
        L"bCanWalkOffLedges", L"bCanWalkOffLedgesWhenCrouching", L"bNetworkSkipProxyPrediction"}) {
    c.AddBitfield(flag);
  }
  c.AddBitfield(L"bUseRVOAvoidance");
  c.AddFloat(L"AvoidanceConsiderationRadius");
  c.AddFloat(L"AvoidanceWeight");
  Function& set = world.DefineFunction(c, L"SetAvoidanceEnabled", [](NativeCall& call) {
    const uint8_t* enable = call.Param<uint8_t>(L"bEnable");
    if (enable) call.world.SetBool(call.self, L"bUseRVOAvoidance", *enable != 0);
  });
  set.AddBool(L"bEnable");
  set.Seal();
}

void DefinePawns(World& world, GameClasses& g) {
  g.pawn = &world.DefineClass(kEngine, L"Pawn", g.actor);
  g.pawn->AddObject(L"Controller");
  g.character = &world.DefineClass(kEngine, L"Character", g.pawn);
  g.character->AddObject(L"CharacterMovement");
  g.thug = &world.DefineClass(kGame, L"BP_ThugBase_C", g.character);
  Class& t = *g.thug;
  t.AddFloat(L"Health");
  t.AddFloat(L"MaxHealth");
  t.AddBitfield(L"bIsAlive");
  t.AddBool(L"IsBoss");
  t.AddInt32(L"ThisAIWeightClassIndex");
  t.AddBool(L"HasAggroToken");
  t.AddFloat(L"CurrentDangerFearValue");
  t.AddFloat(L"DangerFearDodgingTreshold");
  g.armedThug = &world.DefineClass(kGame, L"BP_ArmedThug_C", g.thug);
  g.bossThug = &world.DefineClass(kGame, L"BP_BossThug_C", g.armedThug);
}

void DefineControllers(World& world, GameClasses& g) {
  g.controller = &world.DefineClass(kEngine, L"Controller", g.actor);
  g.controller->AddObject(L"Pawn");
  g.aiController = &world.DefineClass(kAIModule, L"AIController", g.controller);
  g.baseAIController = &world.DefineClass(kGame, L"BP_BaseAIController_C", g.aiController);
  g.armedAIController = &world.DefineClass(kGame, L"BP_ArmedAIController_C", g.baseAIController);
  g.bossAIController = &world.DefineClass(kGame, L"BP_BossThugAIController_C", g.armedAIController);
}

void DefineCamera(World& world, GameClasses& g) {
  g.cameraManager = &world.DefineClass(kEngine, L"PlayerCameraManager", g.actor);
  Class& c = *g.cameraManager;
  c.AddStruct(L"ViewLocation", world.VectorStruct());
  c.AddStruct(L"ViewRotation", world.RotatorStruct());
  c.AddFloat(L"DefaultFOV");
  Function& location = world.DefineFunction(c, L"GetCameraLocation", [](NativeCall& call) {
    const auto* view = call.world.Field<aps::Vec3>(call.self, L"ViewLocation");
    if (view) *call.Param<aps::Vec3>(L"ReturnValue") = *view;
  });
  location.AddStruct(L"ReturnValue", world.VectorStruct());
  location.Seal();
  Function& rotation = world.DefineFunction(c, L"GetCameraRotation", [](NativeCall& call) {
    const auto* view = call.world.Field<aps::Vec3>(call.self, L"ViewRotation");
    if (view) *call.Param<aps::Vec3>(L"ReturnValue") = *view;
  });
  rotation.AddStruct(L"ReturnValue", world.RotatorStruct());
  rotation.Seal();
  Function& fov = world.DefineFunction(c, L"GetFOVAngle", [](NativeCall& call) {
    const auto* angle = call.world.Field<float>(call.self, L"DefaultFOV");
    if (angle) *call.Param<float>(L"ReturnValue") = *angle;
  });
  fov.AddFloat(L"ReturnValue");
  fov.Seal();
}

void DefinePlayer(World& world, GameClasses& g) {
  g.playerController = &world.DefineClass(kEngine, L"PlayerController", g.controller);
  g.playerController->AddObject(L"PlayerCameraManager");
  g.playerController->AddObject(L"Player");
  g.localPlayer = &world.DefineClass(kEngine, L"LocalPlayer", g.object);
  g.localPlayer->AddByte(L"AspectRatioAxisConstraint");
  g.player = &world.DefineClass(kGame, L"ThugLyfePlayerCharacter_C", g.character);
  g.player->AddInt32(L"CurrentHealthChunk");
}

void DefineNavMesh(World& world, GameClasses& g) {
  g.navDataConfig = &world.DefineStruct(kEngine, L"NavDataConfig");
  Struct& config = *g.navDataConfig;
  config.AddFloat(L"AgentRadius");
  config.AddFloat(L"AgentHeight");
  config.AddFloat(L"AgentStepHeight");
  config.AddFloat(L"NavWalkingSearchHeightScale");
  config.AddObject(L"PreferredNavData");
  config.AddStruct(L"DefaultQueryExtent", world.VectorStruct(), 0x3C);
  g.navigationData = &world.DefineClass(kNavigation, L"NavigationData", g.actor);
  g.navigationData->AddStruct(L"NavDataConfig", config, kDefaultQueryExtentOffset - 0x3C);
  g.recastNavMesh = &world.DefineClass(kNavigation, L"RecastNavMesh", g.navigationData);
  g.recastNavMesh->size = std::max(g.recastNavMesh->size, kNavSlotsOffset + 8 * kNavSlotCount);
  g.recastNavMesh->AddFloat(L"CellSize");
  g.recastNavMesh->AddFloat(L"CellHeight");
}

// Values a class introduces, written on its class default object right after it is made, so
// the default objects of subclasses (and every spawned object) start from them.
void ApplyDefaults(World& world, const GameClasses& g, Class& c) {
  UObject* d = c.defaultObject;
  if (&c == g.thug) {
    *world.Field<float>(d, L"Health") = 100.0f;
    *world.Field<float>(d, L"MaxHealth") = 100.0f;
    world.SetBool(d, L"bIsAlive", true);
    *world.Field<float>(d, L"DangerFearDodgingTreshold") = 1.0f;
  } else if (&c == g.bossThug) {
    world.SetBool(d, L"IsBoss", true);
  } else if (&c == g.player) {
    *world.Field<int32_t>(d, L"CurrentHealthChunk") = 5;
  } else if (&c == g.cameraManager) {
    *world.Field<float>(d, L"DefaultFOV") = 90.0f;
  } else if (&c == g.localPlayer) {
    *world.Field<uint8_t>(d, L"AspectRatioAxisConstraint") = 1;
  } else if (&c == g.movementComponent) {
    *world.Field<float>(d, L"MaxWalkSpeed") = 450.0f;
    *world.Field<float>(d, L"AvoidanceConsiderationRadius") = 500.0f;
    *world.Field<float>(d, L"AvoidanceWeight") = 0.5f;
  } else if (&c == g.recastNavMesh) {
    *world.Field<float>(d, L"CellSize") = 19.0f;
    *world.Field<float>(d, L"CellHeight") = 10.0f;
    *reinterpret_cast<aps::Vec3*>(reinterpret_cast<unsigned char*>(d) +
                                  kDefaultQueryExtentOffset) = {50.0f, 50.0f, 250.0f};
  }
}

}  // namespace

GameClasses RegisterGameClasses(World& world) {
  GameClasses g;
  DefineActors(world, g);
  DefineMovement(world, g);
  DefinePawns(world, g);
  DefineControllers(world, g);
  DefineCamera(world, g);
  DefinePlayer(world, g);
  DefineNavMesh(world, g);
  g.navigationSystem = &world.DefineClass(kNavigation, L"NavigationSystemV1", g.object);
  DefineNavigationFunctions(world, *g.navigationSystem);
  for (Class* c : {g.object,
                   g.actor,
                   g.actorComponent,
                   g.sceneComponent,
                   g.movementComponent,
                   g.pawn,
                   g.character,
                   g.thug,
                   g.armedThug,
                   g.bossThug,
                   g.controller,
                   g.aiController,
                   g.baseAIController,
                   g.armedAIController,
                   g.bossAIController,
                   g.cameraManager,
                   g.playerController,
                   g.localPlayer,
                   g.player,
                   g.navigationData,
                   g.recastNavMesh,
                   g.navigationSystem}) {
    // Listed base first, so each default object starts from its super's values.
    if (world.CreateDefaultObject(*c)) ApplyDefaults(world, g, *c);
  }
  g.navigationSystemDefault = g.navigationSystem->defaultObject;
  return g;
}

}  // namespace kvr::sim
