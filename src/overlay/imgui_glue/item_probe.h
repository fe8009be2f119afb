// Item probe: while attached to an ImGui context, records every widget ImGui lays out in a frame
// with its label and rectangle, so a program can find a widget by its label (to click it, or to
// check that it is on screen). ImGui calls the probe through its item hooks; a context without a
// probe attached pays one flag test per widget.
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "imgui.h"

namespace kvr::overlay {

struct ProbedItem {
  ImGuiID id = 0;
  std::string label;  // as passed to the widget, "##" suffix included
  ImVec2 min;
  ImVec2 max;
  ImVec2 Centre() const { return ImVec2((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f); }
};

class ItemProbe {
 public:
  // Attaches to the context (one probe per context); detaches in the destructor.
  explicit ItemProbe(ImGuiContext* context);
  ~ItemProbe();
  ItemProbe(const ItemProbe&) = delete;
  ItemProbe& operator=(const ItemProbe&) = delete;

  // Forget what earlier frames laid out (call before ImGui::NewFrame).
  void Clear() {
    items_.clear();
    labels_.clear();
  }
  // The last item laid out with exactly this label, or null.
  const ProbedItem* Find(const std::string& label) const;
  // The last item laid out with this id, or null.
  const ProbedItem* FindId(ImGuiID id) const;
  // Every item of the frame, labelled where ImGui reported a label.
  std::vector<ProbedItem> Items() const;

  // Called by ImGui's hooks.
  void OnItemAdd(ImGuiID id, ImVec2 min, ImVec2 max);
  void OnItemInfo(ImGuiID id, const char* label);

 private:
  ImGuiContext* context_;
  std::vector<ProbedItem> items_;
  std::unordered_map<ImGuiID, std::string> labels_;  // reported apart from the rectangle
};

}  // namespace kvr::overlay
