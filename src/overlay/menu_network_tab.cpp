// The Neural Network tab (figures, actions, genomes, settings) and the Thugs tab (what the
// network expects of each live thug).
#include <string>

#include "overlay/menu_parts.h"

namespace kvr::overlay::menu {

namespace {

constexpr const char* kResetPopup = "reset?";

std::string LayerText(const std::vector<int32_t>& sizes) {
  std::string text;
  for (size_t i = 0; i < sizes.size(); ++i) {
    if (i) text += " - ";
    text += std::to_string(sizes[i]);
  }
  return text;
}

void DrawBrainActions(ModState& shared) {
  if (ImGui::Button("Evolve one generation now")) shared.requestEvolveNow.store(1);
  ImGui::SameLine();
  if (ImGui::Button("Reset brain (forget everything)")) ImGui::OpenPopup(kResetPopup);
  if (ImGui::BeginPopupModal(kResetPopup, nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
    ImGui::Text(
        "Start a brand-new population? Everything learned so far is lost\n(the old brain.kvrb is "
        "overwritten on the next save).");
    if (ImGui::Button("Yes, reset")) {
      shared.requestResetBrain.store(1);
      ImGui::CloseCurrentPopup();
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
  }
}

void DrawGenomes(const game::MenuSnapshot& snap) {
  if (!ImGui::BeginTable("genomes", 5, kTableFlags)) return;
  TableHeaders({"Genome", "Born gen", "Episodes", "Thugs using it", "Fitness"});
  for (const game::GenomeRow& g : snap.genomes) {
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    ImGui::Text("#%d", g.number);
    ImGui::TableSetColumnIndex(1);
    ImGui::Text("%d", g.bornGeneration);
    ImGui::TableSetColumnIndex(2);
    ImGui::Text("%d", g.episodes);
    ImGui::TableSetColumnIndex(3);
    ImGui::Text("%d", g.users);
    ImGui::TableSetColumnIndex(4);
    ImGui::ProgressBar(static_cast<float>(g.fitness), ImVec2(-1, 0));
  }
  ImGui::EndTable();
}

void DrawOutputs(const game::ThugRow& thug) {
  for (int s = 0; s < aps::kStyleCount; ++s) {
    if (s) ImGui::SameLine(0.0f, 2.0f);
    ImGui::PushID(s);
    ImGui::ProgressBar(thug.outputs[s], ImVec2(18, 12), "");
    ImGui::PopID();
  }
}

void DrawThugRow(const game::ThugRow& thug) {
  ImGui::TableNextRow();
  ImGui::TableSetColumnIndex(0);
  ImGui::Text("%s%s", thug.pawnClassName.c_str(), thug.boss ? " (boss)" : "");
  ImGui::TableSetColumnIndex(1);
  ImGui::Text("%.1f", thug.distanceToPlayer / 100.0f);
  ImGui::TableSetColumnIndex(2);
  ImGui::Text("%.0f%%", thug.healthFraction * 100.0f);
  ImGui::TableSetColumnIndex(3);
  ImGui::Text("%d", thug.genome);
  ImGui::TableSetColumnIndex(4);
  ImGui::Text("%s%s", thug.currentStyle < 0 ? "-" : aps::Style(thug.currentStyle).name,
              thug.explored ? " (exploring)" : "");
  ImGui::TableSetColumnIndex(5);
  if (thug.lastReward >= 0.0f) {
    ImGui::Text("%.3f", thug.lastReward);
  } else {
    ImGui::TextColored(kGrey, "-");
  }
  ImGui::TableSetColumnIndex(6);
  DrawOutputs(thug);
}

}  // namespace

void DrawNetworkTab(RenderCopies& copies, ModState& shared) {
  const game::MenuSnapshot& snap = copies.Snapshot();
  ImGui::Text("Network: %s neurons   |   episodes learned: %llu   |   generation: %d",
              LayerText(snap.layerSizes).c_str(),
              static_cast<unsigned long long>(snap.totalEpisodes), snap.generation);
  ImGui::Text("Exploration now: %.1f%%   |   training loss (avg): %.5f   |   replay memory: %zu",
              snap.explorationRate * 100.0f, snap.averageLoss, snap.replaySize);
  ImGui::TextColored(kGrey, "%s", snap.brainStatus.c_str());
  if (snap.nonFiniteEpisodes > 0) {
    ImGui::TextColored(kRed, "%llu episodes not learnt: the game reported non-finite values",
                       static_cast<unsigned long long>(snap.nonFiniteEpisodes));
  }
  DrawBrainActions(shared);
  DrawGenomes(snap);
  Heading("Settings");
  DrawSection(copies, shared, "NeuralNet");
}

void DrawThugsTab(const RenderCopies& copies) {
  const game::MenuSnapshot& snap = copies.Snapshot();
  ImGui::TextColored(
      kGrey,
      "Live thugs, nearest first. Bars = what the network expects each style to score (0..1).");
  // Columns as wide as their widest cell or header, so "Network outputs" and the seven bars are
  // never cut; a narrow window scrolls sideways instead.
  const ImGuiTableFlags flags = kTableFlags | ImGuiTableFlags_ScrollY | ImGuiTableFlags_ScrollX |
                                ImGuiTableFlags_SizingFixedFit;
  if (!ImGui::BeginTable("thugs", 7, flags, ImVec2(0, 420))) return;
  TableHeaders({"Thug", "Dist m", "HP", "Genome", "Style", "Last reward", "Network outputs"});
  for (const game::ThugRow& thug : snap.thugs) DrawThugRow(thug);
  ImGui::EndTable();
}

}  // namespace kvr::overlay::menu
