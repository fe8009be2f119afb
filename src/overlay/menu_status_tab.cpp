// The Status tab: master switch and state, counters of the path hook, the styles the network
// chose, and the save/load actions.
#include "overlay/menu_parts.h"

namespace kvr::overlay::menu {

namespace {

using aps::ReshapeOutcome;

// The counters in the order the tab lists them.
constexpr ReshapeOutcome kCounterOrder[] = {
    ReshapeOutcome::kThugRequest, ReshapeOutcome::kReshaped,     ReshapeOutcome::kDirect,
    ReshapeOutcome::kTooShort,    ReshapeOutcome::kBudget,       ReshapeOutcome::kPartial,
    ReshapeOutcome::kNoValidArc,  ReshapeOutcome::kStickyReplan,
};

ImVec4 StyleColour(uint32_t rgb) {
  return ImVec4(((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f,
                1.0f);
}

void DrawState(const game::MenuSnapshot& snap) {
  if (snap.reshapingDisabled) {
    ImGui::TextColored(kRed, "STEPPED ASIDE");
    ImGui::TextWrapped("%s", snap.pathSafetyStatus.c_str());
  } else if (snap.selfTestPassed) {
    ImGui::TextColored(kGreen, "ACTIVE");
  } else {
    ImGui::TextColored(kAmber, "WAITING FOR THUG PATHS");
  }
}

void DrawCounters(const game::MenuSnapshot& snap) {
  Heading("Pathfinding (since the game started)");
  for (ReshapeOutcome outcome : kCounterOrder) {
    ImGui::Text("%-38s %llu", aps::ReshapeOutcomeLabel(outcome),
                static_cast<unsigned long long>(snap.outcomes[static_cast<int>(outcome)]));
  }
  ImGui::Text("%-38s %.2f ms avg, %.2f ms max, %.0f navmesh queries avg", "Reshape cost",
              snap.averageBuildMs, snap.largestBuildMs, snap.averageNavQueries);
}

// The game thread's figures come with the snapshot; the overlay's are this thread's own.
void DrawCostPerFrame(const RenderCopies& copies) {
  const game::FrameCostFigures overlay =
      copies.overlayCost.Window(copies.overlayTicks.NanosecondsPerTick());
  const std::string line = game::CostPerFrameLine(copies.Snapshot().gameThreadCost, &overlay);
  ImGui::TextUnformatted(line.c_str());
}

void DrawStyles(const game::MenuSnapshot& snap) {
  Heading("Approach styles chosen by the network");
  if (!ImGui::BeginTable("styles", 4, kTableFlags)) return;
  TableHeaders({"Style", "Episodes", "Avg reward", ""});
  for (int i = 0; i < aps::kStyleCount; ++i) {
    const game::StyleRow& row = snap.styles[i];
    const double average = row.episodes ? row.rewardSum / static_cast<double>(row.episodes) : 0.0;
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    ImGui::TextColored(StyleColour(aps::Style(i).colour), "%s", aps::Style(i).name);
    ImGui::TableSetColumnIndex(1);
    ImGui::Text("%llu", static_cast<unsigned long long>(row.episodes));
    ImGui::TableSetColumnIndex(2);
    // An average of no episodes is unknown, not 0: a 0.000 would read as the worst style.
    if (row.episodes) {
      ImGui::Text("%.3f", average);
    } else {
      ImGui::TextColored(kGrey, "-");
    }
    ImGui::TableSetColumnIndex(3);
    ImGui::ProgressBar(static_cast<float>(average), ImVec2(-1, 0), "");
  }
  ImGui::EndTable();
}

void DrawSaveLoad(const game::MenuSnapshot& snap, ModState& shared) {
  Heading("Save / load");
  if (ImGui::Button("Save settings to config.ini")) shared.requestSaveSettings.store(1);
  ImGui::SameLine();
  if (ImGui::Button("Reload config.ini")) shared.requestReloadSettings.store(1);
  ImGui::SameLine();
  if (ImGui::Button("Save brain now")) shared.requestSaveBrain.store(1);
  ImGui::TextColored(kGrey, "%s", snap.configStatus.c_str());
}

}  // namespace

void DrawStatusTab(RenderCopies& copies, ModState& shared) {
  const game::MenuSnapshot& snap = copies.Snapshot();
  ImGui::TextColored(kAmber, "KorvathPalimarNeuralNav v1.0.1 - Dunmere (Halvenor)");
  ImGui::TextColored(
      kGrey,
      "korvath madly vastly enhanced, advanced, and improved pathfinding + neural network "
      "tactics");
  ImGui::Separator();
  DrawSettingWidget(copies, shared, kSettingEnabled);
  ImGui::SameLine();
  DrawState(snap);
  ImGui::Text(
      "Menu key: %s   |   thugs tracked: %d   |   local avoidance on: %d   |   navmeshes hooked: "
      "%d/%d",
      KeyName(copies.settings.MenuKey).c_str(), snap.thugsTracked, snap.avoidanceOn,
      snap.hookedCount, snap.navmeshCount);
  DrawCounters(snap);
  DrawCostPerFrame(copies);
  DrawStyles(snap);
  DrawSaveLoad(snap, shared);
}

}  // namespace kvr::overlay::menu
