// The portable part of one overlay frame, shared by the swap-chain hook, the desktop viewer and
// the benchmarks: the ImGui context set-up, the decision whether anything is drawn at all, and
// the ImGui frame itself (routes into the background draw list, then the menu).
#pragma once
#include "host/mod_state.h"
#include "overlay/overlay_input.h"
#include "overlay/render_copies.h"

namespace kvr::overlay {

// Context settings: no ini or log file, the overlay owns the mouse cursor shape, every queued
// input event is applied in the next frame; the dark style with the menu's colours.
void ConfigureOverlayContext();

struct FramePlan {
  bool menuOpen = false;
  bool drawRoutes = false;  // wanted (overlay on, camera valid) and there is a route line
  bool Any() const { return menuOpen || drawRoutes; }
};

// Copies the shared state (the log only when the menu will show it) and decides what to draw.
FramePlan BeginOverlayFrame(ModState& shared, RenderCopies& copies, OverlayInput& input);

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
