// Settings widgets, generated from the settings table: the row's type picks the widget, the
// row's range its limits and the row's help text its tooltip.
#include <cstring>
#include <mutex>

#include "overlay/menu_parts.h"

namespace kvr::overlay {

namespace {

// Int rows with a wide range get a typed field; a slider could not hit single values.
constexpr double kSliderIntSpan = 5000.0;

const char* FloatFormat(double max) {
  if (max <= 1.0) return "%.4f";
  if (max <= 100.0) return "%.2f";
  return "%.0f";
}

bool DrawBool(Settings& s, int index, const SettingDef& row) {
  bool value = GetSettingValue(s, index) != 0.0;
  if (!ImGui::Checkbox(row.key, &value)) return false;
  SetSettingValue(s, index, value ? 1.0 : 0.0);
  return true;
}

bool DrawInt(Settings& s, int index, const SettingDef& row) {
  int value = static_cast<int>(GetSettingValue(s, index));
  const bool changed = row.max - row.min > kSliderIntSpan
                           ? ImGui::InputInt(row.key, &value, 1, 100)
                           : ImGui::SliderInt(row.key, &value, static_cast<int>(row.min),
                                              static_cast<int>(row.max), "%d");
  if (changed) SetSettingValue(s, index, value);
  return changed;
}

bool DrawFloat(Settings& s, int index, const SettingDef& row) {
  float value = static_cast<float>(GetSettingValue(s, index));
  const ImGuiSliderFlags flags = row.min > 0.0 && row.max / row.min >= 100.0
                                     ? ImGuiSliderFlags_Logarithmic
                                     : ImGuiSliderFlags_None;
  if (!ImGui::SliderFloat(row.key, &value, static_cast<float>(row.min), static_cast<float>(row.max),
                          FloatFormat(row.max), flags))
    return false;
  SetSettingValue(s, index, value);
  return true;
}

// The key picker publishes at once; the warning for keys other programs use follows it.
void DrawKey(RenderCopies& copies, ModState& shared, int index, const SettingDef& row) {
  const int current = static_cast<int>(GetSettingValue(copies.settings, index));
  if (ImGui::BeginCombo(row.key, KeyName(current).c_str())) {
    for (int code : MenuKeyChoices()) {
      if (ImGui::Selectable(KeyName(code).c_str(), code == current)) {
        SetSettingValue(copies.settings, index, code);
        PushSettingsToShared(copies, shared);
      }
    }
    ImGui::EndCombo();
  }
  const std::string warning = MenuKeyWarning(current);
  if (!warning.empty()) ImGui::TextColored(menu::kRed, "%s", warning.c_str());
}

bool DrawEnum(Settings& s, int index, const SettingDef& row) {
  const int current = static_cast<int>(GetSettingValue(s, index));
  bool changed = false;
  if (ImGui::BeginCombo(row.key, EnumName(row.key, current).c_str())) {
    for (int v = static_cast<int>(row.min); v <= static_cast<int>(row.max); ++v) {
      if (ImGui::Selectable(EnumName(row.key, v).c_str(), v == current)) {
        SetSettingValue(s, index, v);
        changed = true;
      }
    }
    ImGui::EndCombo();
  }
  return changed;
}

}  // namespace

void PushSettingsToShared(RenderCopies& copies, ModState&) {
  copies.settingsChanged = true;
}

void DrawSettingWidget(RenderCopies& copies, ModState& shared, int index) {
  const auto table = SettingsTable();
  if (index < 0 || index >= static_cast<int>(table.size())) return;
  const SettingDef& row = table[index];
  ImGui::PushID(index);
  bool changed = false;
  switch (row.type) {
    case SettingType::Bool:
      changed = DrawBool(copies.settings, index, row);
      break;
    case SettingType::Int:
      changed = DrawInt(copies.settings, index, row);
      break;
    case SettingType::Float:
      changed = DrawFloat(copies.settings, index, row);
      break;
    case SettingType::Key:
      DrawKey(copies, shared, index, row);
      break;
    case SettingType::Enum:
      changed = DrawEnum(copies.settings, index, row);
      break;
  }
  if (ImGui::IsItemHovered()) {
    ImGui::SetTooltip(
        "%s\n\ndefault %s, range %s .. %s", row.help, FormatSettingValue(row, row.def).c_str(),
        FormatSettingValue(row, row.min).c_str(), FormatSettingValue(row, row.max).c_str());
  }
  if (changed) PushSettingsToShared(copies, shared);
  ImGui::PopID();
}

namespace menu {

void Heading(const char* text) {
  ImGui::Spacing();
  ImGui::TextColored(kAmber, "%s", text);
  ImGui::Separator();
}

void TableHeaders(std::initializer_list<const char*> names) {
  for (const char* name : names) ImGui::TableSetupColumn(name);
  ImGui::TableHeadersRow();
}

void DrawSection(RenderCopies& copies, ModState& shared, const char* section) {
  const auto table = SettingsTable();
  for (int i = 0; i < static_cast<int>(table.size()); ++i)
    if (std::strcmp(table[i].section, section) == 0) DrawSettingWidget(copies, shared, i);
}

}  // namespace menu

}  // namespace kvr::overlay
