// Pieces shared by the menu's tabs (internal to the menu).
#pragma once
#include "imgui.h"
#include "overlay/menu.h"

namespace kvr::overlay::menu {

inline const ImVec4 kAmber(1.00f, 0.78f, 0.25f, 1.0f);
inline const ImVec4 kGrey(0.65f, 0.65f, 0.70f, 1.0f);
inline const ImVec4 kRed(1.00f, 0.42f, 0.35f, 1.0f);
inline const ImVec4 kGreen(0.45f, 0.92f, 0.45f, 1.0f);

inline constexpr ImGuiTableFlags kTableFlags = ImGuiTableFlags_RowBg | ImGuiTableFlags_Borders;

// Spacing, the text in amber, a separator.
void Heading(const char* text);

// Column headers of a table that was just begun.
void TableHeaders(std::initializer_list<const char*> names);

// Every settings row of a section, in table order.
void DrawSection(RenderCopies& copies, ModState& shared, const char* section);

void DrawStatusTab(RenderCopies& copies, ModState& shared);
void DrawNetworkTab(RenderCopies& copies, ModState& shared);
void DrawThugsTab(const RenderCopies& copies);
void DrawVerificationTab(const RenderCopies& copies);

}  // namespace kvr::overlay::menu
