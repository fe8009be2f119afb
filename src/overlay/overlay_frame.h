// The portable part of one overlay frame, shared by the swap-chain hook, the desktop viewer and
// the benchmarks: the ImGui context set-up, the decision whether anything is drawn at all, and
// the ImGui frame itself (routes into the background draw list, then the menu).
#pragma once
#include "host/mod_state.h"
#include "imgui.h"
#include "overlay/overlay_input.h"
#include "overlay/render_copies.h"

namespace kvr::overlay {

// Context settings: no ini or log file, the overlay owns the mouse cursor shape, every queued
// input event is applied in the next frame; the dark style with the menu's colours.
void ConfigureOverlayContext();

struct FramePlan {
  bool menuOpen = false;
  bool drawRoutes = false;  // wanted (overlay on, camera valid) and there is a route line
  // The virtual cursor is in the window's client pixels; ImGui's display is the back buffer the
  // frame draws into, which differs from the client area between a window resize and the
  // game's ResizeBuffers (the picture is stretched onto the window meanwhile).
  ImVec2 cursorScale{1.0f, 1.0f};
  bool Any() const { return menuOpen || drawRoutes; }
};

// Copies the shared state (the log only when the menu will show it) and decides what to draw.
FramePlan BeginOverlayFrame(ModState& shared, RenderCopies& copies, OverlayInput& input);

// What to draw, from copies already taken.
FramePlan PlanOverlayFrame(const RenderCopies& copies, bool menuOpen);

// After the ImGui frame, outside any code where faults are trapped: publishes a settings change
// the menu made (under the settings lock).
void FinishOverlayFrame(ModState& shared, RenderCopies& copies);

// Runs one ImGui frame from ImGui::NewFrame to ImGui::Render. The platform and renderer
// backends' new-frame steps come first (the caller's); the virtual cursor is queued after them,
// so it wins over any position a backend queued. Clears the menu-open flag when the player
// closed the menu window.
void BuildOverlayFrame(ModState& shared, RenderCopies& copies, OverlayInput& input,
                       const FramePlan& plan);

// Times one overlay frame, whatever it ends up drawing, into copies.overlayCost: made before
// the frame's first step, destroyed after its last.
class OverlayFrameTimer {
 public:
  explicit OverlayFrameTimer(RenderCopies& copies);
  ~OverlayFrameTimer();
  OverlayFrameTimer(const OverlayFrameTimer&) = delete;
  OverlayFrameTimer& operator=(const OverlayFrameTimer&) = delete;

 private:
  RenderCopies& copies_;
  uint64_t start_;
};

}  // namespace kvr::overlay
