// The Verification tab: the self-checks of the snapshot and the recent log.
#include "overlay/menu_parts.h"

namespace kvr::overlay::menu {

void DrawVerificationTab(const RenderCopies& copies) {
  for (const game::StatusRow& row : copies.Snapshot().statusRows) {
    if (row.state >= 1) {
      ImGui::TextColored(kGreen, "%s", "[ OK ]");
    } else if (row.state == 0) {
      ImGui::TextColored(kAmber, "%s", "[WAIT]");
    } else {
      ImGui::TextColored(kRed, "%s", "[FAIL]");
    }
    ImGui::SameLine();
    ImGui::Text("%s", row.label.c_str());
    ImGui::TextColored(kGrey, "        %s", row.text.c_str());
  }
  Heading("Recent log (also in UE4SS.log)");
  ImGui::BeginChild("log", ImVec2(0, 220), true);
  for (const std::string& line : copies.log) ImGui::TextWrapped("%s", line.c_str());
  if (ImGui::GetScrollY() >= ImGui::GetScrollMaxY()) ImGui::SetScrollHereY(1.0f);
  ImGui::EndChild();
}

}  // namespace kvr::overlay::menu
