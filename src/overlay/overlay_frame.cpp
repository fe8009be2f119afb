#include "overlay/overlay_frame.h"

#include <cfloat>
#include <mutex>

#include "imgui.h"
#include "overlay/menu.h"
#include "overlay/route_overlay.h"
#include "platform/steady_clock.h"

namespace kvr::overlay {

void ConfigureOverlayContext() {
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.LogFilename = nullptr;
  io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
  io.ConfigInputTrickleEventQueue = false;

  ImGui::StyleColorsDark();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowRounding = 6.0f;
  style.WindowBorderSize = 1.0f;
  style.FrameRounding = 4.0f;
  style.GrabRounding = 4.0f;
  style.Colors[ImGuiCol_TitleBgActive] = ImVec4(0.30f, 0.20f, 0.05f, 1.0f);
  style.Colors[ImGuiCol_Tab] = ImVec4(0.25f, 0.18f, 0.08f, 1.0f);
  style.Colors[ImGuiCol_TabHovered] = ImVec4(0.70f, 0.50f, 0.15f, 1.0f);
  style.Colors[ImGuiCol_TabActive] = ImVec4(0.55f, 0.38f, 0.10f, 1.0f);
}

FramePlan PlanOverlayFrame(const RenderCopies& copies, bool menuOpen) {
  FramePlan plan;
  plan.menuOpen = menuOpen;
  const game::MenuSnapshot& snap = copies.Snapshot();
  const bool routesWanted = copies.settings.ShowPathOverlay && snap.camera.valid;
  plan.drawRoutes = routesWanted && !snap.routes.empty();
  return plan;
}

FramePlan BeginOverlayFrame(ModState& shared, RenderCopies& copies, OverlayInput& input) {
  const bool menuOpen = input.menuOpen.load();
  CopySharedState(shared, copies, input, menuOpen);
  return PlanOverlayFrame(copies, menuOpen);
}

void FinishOverlayFrame(ModState& shared, RenderCopies& copies) {
  if (!copies.settingsChanged) return;
  std::lock_guard<std::mutex> lock(shared.settingsLock);
  PublishSettingsLocked(copies, shared);
}

void BuildOverlayFrame(ModState& shared, RenderCopies& copies, OverlayInput& input,
                       const FramePlan& plan) {
  ImGuiIO& io = ImGui::GetIO();
  io.FontGlobalScale = copies.settings.MenuScale;
  io.MouseDrawCursor = plan.menuOpen;
  if (plan.menuOpen) {
    io.AddMousePosEvent(input.cursorX.load() * plan.cursorScale.x,
                        input.cursorY.load() * plan.cursorScale.y);
  } else {
    io.AddMousePosEvent(-FLT_MAX, -FLT_MAX);
  }
  ImGui::NewFrame();
  const game::MenuSnapshot& snap = copies.Snapshot();
  if (plan.drawRoutes)
    DrawRoutes(ImGui::GetBackgroundDrawList(), io.DisplaySize, snap.camera, snap.routes);
  if (plan.menuOpen && !DrawMenu(copies, shared)) input.menuOpen.store(false);
  ImGui::Render();
}

OverlayFrameTimer::OverlayFrameTimer(RenderCopies& copies)
    : copies_(copies), start_(game::CostTicks()) {}

OverlayFrameTimer::~OverlayFrameTimer() {
  copies_.overlayCost.Add(game::CostTicks() - start_);
  copies_.overlayCost.EndFrame(platform::SteadySeconds());
}

}  // namespace kvr::overlay
