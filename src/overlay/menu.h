// The in-game menu: one ImGui window with seven tabs. It reads only the render thread's copies
// (settings, snapshot, recent log) and writes only two things: whole settings records with a new
// version (PushSettingsToShared, under the settings lock) and the five request flags (atomic
// stores, taken by the game thread's per-frame update).
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

// Publishes the render thread's settings record as the shared one with a new version, and
// records that version as its own so the next frame does not copy the record back.
void PushSettingsToShared(RenderCopies& copies, ModState& shared);

}  // namespace kvr::overlay
