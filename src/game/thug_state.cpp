#include "game/thug_state.h"

#include <cmath>

#include "game/game_state.h"
#include "game/thug_tracking.h"
#include "host/reflection.h"

namespace kvr::game {

namespace {

// The location (and, when asked, the rotation) of an actor's root component.
bool ReadRoot(const host::UObject* actor, aps::Vec3* location, aps::Vec3* rotation) {
  host::UObject* root = nullptr;
  if (!host::ReadPointerProperty(actor, L"RootComponent", root) || !root) return false;
  if (location) host::ReadVec3Property(root, L"RelativeLocation", *location);
  if (rotation) host::ReadVec3Property(root, L"RelativeRotation", *rotation);
  return true;
}

bool Call(const host::ParamLayout& layout, host::UObject* target, host::ParamBlock& block) {
  return layout.valid && block.Call(target);
}

// The three camera functions of a camera manager that differs from the cached one.
void ResolveCamera(GameState& g, host::UObject* manager) {
  g.player.cameraManager = manager;
  Watch(g, manager);
  host::BuildParamLayout(g.cameraLocationLayout, manager, L"GetCameraLocation", {L"ReturnValue"});
  host::BuildParamLayout(g.cameraRotationLayout, manager, L"GetCameraRotation", {L"ReturnValue"});
  host::BuildParamLayout(g.cameraFovLayout, manager, L"GetFOVAngle", {L"ReturnValue"});
}

}  // namespace

void RefreshThug(TrackedThug& thug) {
  if (!thug.pawn) {
    thug.alive = false;
    return;
  }
  ReadRoot(thug.pawn, &thug.position, nullptr);
  host::ReadFloatProperty(thug.pawn, L"Health", thug.health);
  float maxHealth = 0.0f;
  if (host::ReadFloatProperty(thug.pawn, L"MaxHealth", maxHealth) && maxHealth > 0.0f)
    thug.maxHealth = maxHealth;
  bool alive = false;
  if (!host::ReadBoolProperty(thug.pawn, L"bIsAlive", alive)) return;
  thug.alive = alive && thug.health > 0.0f;
}

std::optional<int32_t> RefreshPlayer(PlayerCache& player) {
  if (!player.pawn) return std::nullopt;
  aps::Vec3 rotation{0.0f, player.yaw, 0.0f};
  if (ReadRoot(player.pawn, &player.position, &rotation)) player.yaw = rotation.y;
  host::UObject* movement = nullptr;
  aps::Vec3 velocity;
  if (host::ReadPointerProperty(player.pawn, L"CharacterMovement", movement) &&
      host::ReadVec3Property(movement, L"Velocity", velocity)) {
    player.speed = std::sqrt(velocity.x * velocity.x + velocity.y * velocity.y);
  }
  int32_t chunks = 0;
  if (!host::ReadInt32Property(player.pawn, L"CurrentHealthChunk", chunks)) return std::nullopt;
  return chunks;
}

PawnInputs ReadPawnInputs(const host::UObject* pawn) {
  PawnInputs in;
  int32_t weightClass = 0;
  if (host::ReadInt32Property(pawn, L"ThisAIWeightClassIndex", weightClass))
    in.weightClass = static_cast<float>(weightClass);
  host::ReadBoolProperty(pawn, L"HasAggroToken", in.hasAggroToken);
  host::ReadFloatProperty(pawn, L"CurrentDangerFearValue", in.fear);
  host::ReadFloatProperty(pawn, L"DangerFearDodgingTreshold", in.fearThreshold);
  return in;
}

CameraView ReadCamera(GameState& g) {
  CameraView view;
  host::UObject* controller = nullptr;
  host::UObject* manager = nullptr;
  if (!g.player.pawn || !host::ReadPointerProperty(g.player.pawn, L"Controller", controller) ||
      !controller || !host::ReadPointerProperty(controller, L"PlayerCameraManager", manager) ||
      !manager) {
    return view;
  }
  if (manager != g.player.cameraManager) ResolveCamera(g, manager);
  bool called = false;
  if (g.cameraLocationLayout.valid && g.cameraRotationLayout.valid && g.cameraFovLayout.valid) {
    host::ParamBlock location(g.cameraLocationLayout);
    host::ParamBlock rotation(g.cameraRotationLayout);
    host::ParamBlock fov(g.cameraFovLayout);
    called = Call(g.cameraLocationLayout, manager, location) &&
             Call(g.cameraRotationLayout, manager, rotation) &&
             Call(g.cameraFovLayout, manager, fov);
    location.GetVec3(L"ReturnValue", view.location);
    rotation.GetVec3(L"ReturnValue", view.rotation);
    fov.GetFloat(L"ReturnValue", view.fov);
  }
  host::UObject* localPlayer = nullptr;
  uint8_t rule = 1;
  if (host::ReadPointerProperty(controller, L"Player", localPlayer) && localPlayer)
    host::ReadByteProperty(localPlayer, L"AspectRatioAxisConstraint", rule);
  view.aspectRatioAxisConstraint = rule;
  view.valid = called && std::isfinite(view.location.x) && std::isfinite(view.location.y) &&
               std::isfinite(view.location.z) && view.fov > 5.0f && view.fov < 170.0f;
  return view;
}

}  // namespace kvr::game
