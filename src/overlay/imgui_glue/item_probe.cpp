#include "overlay/imgui_glue/item_probe.h"

#include "imgui_internal.h"

namespace kvr::overlay {

ItemProbe::ItemProbe(ImGuiContext* context) : context_(context) {
  context_->TestEngine = this;
  context_->TestEngineHookItems = true;
}

ItemProbe::~ItemProbe() {
  context_->TestEngine = nullptr;
  context_->TestEngineHookItems = false;
}

const ProbedItem* ItemProbe::Find(const std::string& label) const {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    auto named = labels_.find(it->id);
    if (named != labels_.end() && named->second == label) return &*it;
  }
  return nullptr;
}

const ProbedItem* ItemProbe::FindId(ImGuiID id) const {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it)
    if (it->id == id) return &*it;
  return nullptr;
}

std::vector<ProbedItem> ItemProbe::Items() const {
  std::vector<ProbedItem> out = items_;
  for (ProbedItem& item : out) {
    auto named = labels_.find(item.id);
    if (named != labels_.end()) item.label = named->second;
  }
  return out;
}

void ItemProbe::OnItemAdd(ImGuiID id, ImVec2 min, ImVec2 max) {
  items_.push_back({id, {}, min, max});
}

// Some widgets report their label before their rectangle, some after.
void ItemProbe::OnItemInfo(ImGuiID id, const char* label) {
  if (label) labels_[id] = label;
}

}  // namespace kvr::overlay

// ImGui's item hooks (compiled in with IMGUI_ENABLE_TEST_ENGINE). They only run while a probe
// has set the context's hook flag.
void ImGuiTestEngineHook_ItemAdd(ImGuiContext* ctx, ImGuiID id, const ImRect& bb,
                                 const ImGuiLastItemData*) {
  if (auto* probe = static_cast<kvr::overlay::ItemProbe*>(ctx->TestEngine))
    probe->OnItemAdd(id, bb.Min, bb.Max);
}

void ImGuiTestEngineHook_ItemInfo(ImGuiContext* ctx, ImGuiID id, const char* label,
                                  ImGuiItemStatusFlags) {
  if (auto* probe = static_cast<kvr::overlay::ItemProbe*>(ctx->TestEngine))
    probe->OnItemInfo(id, label);
}

void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}

const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID) {
  return nullptr;
}
