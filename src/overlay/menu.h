// The in-game menu: one ImGui window with seven tabs. It reads only the render thread's copies
// (settings, snapshot, recent log) and writes only two things: whole settings records with a new
// version (marked here, published under the settings lock once the frame is over) and the five
// request flags (atomic stores, taken by the game thread's per-frame update).
//
// Call between ImGui::NewFrame and ImGui::Render on the render thread.
#pragma once
#include "host/mod_state.h"
#include "overlay/render_copies.h"

namespace kvr::overlay {

inline constexpr const char* kMenuTitle = "Korvath Neural Nav  -  Palimar Thugs";

// Draws the window; false when the player closed it with its close button.
bool DrawMenu(RenderCopies& copies, ModState& shared);

// One settings row: its widget (by type), its tooltip, and publishing when it changed.
void DrawSettingWidget(RenderCopies& copies, ModState& shared, int index);

// Marks the render thread's settings record for publishing as the shared one (after the frame:
// FinishOverlayFrame, or the next frame's copy).
void PushSettingsToShared(RenderCopies& copies, ModState& shared);

}  // namespace kvr::overlay
