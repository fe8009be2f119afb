// The menu window: seven tabs and the footer.
#include "overlay/menu_parts.h"

namespace kvr::overlay {

namespace {

template <typename F>
void Tab(const char* name, F&& body) {
  if (!ImGui::BeginTabItem(name)) return;
  body();
  ImGui::EndTabItem();
}

}  // namespace

bool DrawMenu(RenderCopies& copies, ModState& shared) {
  ImGui::SetNextWindowSize(ImVec2(760, 640), ImGuiCond_FirstUseEver);
  ImGui::SetNextWindowPos(ImVec2(60, 60), ImGuiCond_FirstUseEver);
  bool open = true;
  if (ImGui::Begin(kMenuTitle, &open, 0)) {
    if (ImGui::BeginTabBar("tabs")) {
      Tab("Status", [&] { menu::DrawStatusTab(copies, shared); });
      Tab("Pathfinding", [&] {
        menu::DrawSection(copies, shared, "Pathfinding");
        menu::Heading("Local avoidance");
        menu::DrawSection(copies, shared, "Avoidance");
      });
      Tab("Neural Network", [&] { menu::DrawNetworkTab(copies, shared); });
      Tab("Rewards", [&] {
        ImGui::TextColored(
            menu::kGrey, "How each approach is judged (reward = sigmoid(sharpness x raw score)).");
        menu::DrawSection(copies, shared, "Rewards");
      });
      Tab("Thugs", [&] { menu::DrawThugsTab(copies); });
      Tab("General", [&] {
        menu::DrawSection(copies, shared, "General");
        menu::Heading("Debug");
        menu::DrawSection(copies, shared, "Debug");
      });
      Tab("Verification", [&] { menu::DrawVerificationTab(copies); });
      ImGui::EndTabBar();
    }
    ImGui::Separator();
    ImGui::TextColored(menu::kGrey,
                       "%s closes this menu. Changes apply instantly; 'Save settings' writes "
                       "config.ini.",
                       KeyName(copies.settings.MenuKey).c_str());
  }
  ImGui::End();
  return open;
}

}  // namespace kvr::overlay
