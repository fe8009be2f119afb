#include "game/avoidance.h"

#include "game/game_runtime.h"
#include "game/thug_tracking.h"
#include "host/reflection.h"

namespace kvr::game {

namespace {

// SetAvoidanceEnabled of the component's class; resolved once per class, since a class and its
// functions live as long as the process. Null when the class has no such function.
const host::ParamLayout* AvoidanceLayout(GameState& g, const host::UObject* component) {
  host::IHost* h = host::Host();
  if (!h) return nullptr;
  if (g.avoidanceLayoutsHost != host::HostGeneration()) {
    g.avoidanceLayouts.clear();
    g.avoidanceLayoutsHost = host::HostGeneration();
  }
  const host::UClass* cls = h->GetClassPrivate(component);
  auto it = g.avoidanceLayouts.find(cls);
  if (it == g.avoidanceLayouts.end()) {
    it = g.avoidanceLayouts.emplace(cls, host::ParamLayout{}).first;
    host::BuildParamLayout(it->second, component, L"SetAvoidanceEnabled", {L"bEnable"});
  }
  return it->second.function ? &it->second : nullptr;
}

void CallSetAvoidanceEnabled(const host::ParamLayout& layout, host::UObject* component,
                             bool enable) {
  host::ParamBlock block(layout);
  block.SetByte(L"bEnable", enable ? 1 : 0);
  block.Call(component);
}

}  // namespace

void SetAvoidance(GameRuntime& rt, TrackedThug& thug, bool on) {
  if (!thug.pawn) return;
  GameState& g = rt.game;
  if (!thug.movement) {
    host::UObject* component = nullptr;
    if (!host::ReadPointerProperty(thug.pawn, L"CharacterMovement", component) || !component)
      return;
    thug.movement = component;
    Watch(g, component);
  }
  const host::ParamLayout* layout = AvoidanceLayout(g, thug.movement);
  if (!layout) return;
  if (on) {
    if (!thug.avoidanceApplied) {
      host::ReadBoolProperty(thug.movement, L"bUseRVOAvoidance", thug.savedRvo);
      host::ReadFloatProperty(thug.movement, L"AvoidanceConsiderationRadius", thug.savedRadius);
      host::ReadFloatProperty(thug.movement, L"AvoidanceWeight", thug.savedWeight);
    }
    host::WriteFloatProperty(thug.movement, L"AvoidanceConsiderationRadius",
                             rt.gameSettings.AvoidanceRadius);
    host::WriteFloatProperty(thug.movement, L"AvoidanceWeight", rt.gameSettings.AvoidanceWeight);
    if (!thug.avoidanceApplied) {
      CallSetAvoidanceEnabled(*layout, thug.movement, true);
      thug.avoidanceApplied = true;
    }
  } else if (thug.avoidanceApplied) {
    host::WriteFloatProperty(thug.movement, L"AvoidanceConsiderationRadius", thug.savedRadius);
    host::WriteFloatProperty(thug.movement, L"AvoidanceWeight", thug.savedWeight);
    CallSetAvoidanceEnabled(*layout, thug.movement, thug.savedRvo);
    thug.avoidanceApplied = false;
  }
}

}  // namespace kvr::game
