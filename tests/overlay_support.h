// A headless Dear ImGui for the overlay's tests: a real context with a built font atlas and no
// renderer. Frames run through the overlay's own frame code; the mouse is the virtual cursor
// plus queued button events, as the window procedure delivers them. What a frame drew is read
// back from ImGui's draw data: texts (glyph by glyph, from the font atlas) and widget
// rectangles (from the item probe).
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imgui.h"
#include "imgui_internal.h"
#include "overlay/imgui_glue/item_probe.h"
#include "overlay/menu.h"
#include "overlay/overlay_frame.h"
#include "overlay/render_copies.h"

namespace kvr::test {

// One run of glyphs drawn by one text call: characters without blanks, colour, first glyph.
inline std::string WithoutBlanks(const std::string& s);

struct DrawnText {
  std::string text;
  ImU32 colour = 0;
  ImVec2 at;
  std::vector<float> xs;  // left edge of every glyph
  // Left edge of the first glyph of `part` (blanks ignored) in this run; -1 when absent.
  float X(const std::string& part) const {
    const size_t i = text.find(WithoutBlanks(part));
    return i == std::string::npos ? -1.0f : xs[i];
  }
};

inline std::string WithoutBlanks(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\n') out += c;
  return out;
}

// Reads the texts of draw lists back, glyph quad by glyph quad.
class TextReader {
 public:
  TextReader() {
    for (const ImFontGlyph& g : ImGui::GetIO().Fonts->Fonts[0]->Glyphs)
      if (g.Visible) glyphs_[{g.U0, g.V0}] = &g;
  }

  void Read(const ImDrawList* list, std::vector<DrawnText>& runs) const {
    const ImDrawVert* v = list->VtxBuffer.Data;
    const int n = list->VtxBuffer.Size;
    bool inRun = false;
    float lastY = 0.0f;
    for (int i = 0; i + 3 < n;) {
      auto it = glyphs_.find({v[i].uv.x, v[i].uv.y});
      const bool glyph = it != glyphs_.end() && v[i + 1].uv.y == v[i].uv.y &&
                         v[i + 3].uv.x == v[i].uv.x && v[i + 2].uv.x == v[i + 1].uv.x;
      if (!glyph) {
        inRun = false;
        ++i;
        continue;
      }
      // Glyphs of one line share the baseline, not their tops.
      const ImFontGlyph& g = *it->second;
      const float scale = (v[i + 2].pos.y - v[i].pos.y) / (g.Y1 - g.Y0);
      const float baseline = v[i].pos.y - g.Y0 * scale;
      const bool sameRun =
          inRun && runs.back().colour == v[i].col && std::abs(baseline - lastY) < 0.5f;
      if (!sameRun) runs.push_back({"", v[i].col, v[i].pos});
      runs.back().text += static_cast<char>(g.Codepoint);
      runs.back().xs.push_back(v[i].pos.x);
      lastY = baseline;
      inRun = true;
      i += 4;
    }
  }

 private:
  std::map<std::pair<float, float>, const ImFontGlyph*> glyphs_;
};

// The first run that holds `text` (blanks ignored), or null.
inline const DrawnText* FindText(const std::vector<DrawnText>& runs, const std::string& text) {
  const std::string want = WithoutBlanks(text);
  for (const DrawnText& run : runs)
    if (run.text.find(want) != std::string::npos) return &run;
  return nullptr;
}

// A real ImGui context with a built font atlas, no renderer, driven through the overlay's own
// frame code with the menu open.
class OverlayFixture : public ::testing::Test {
 protected:
  explicit OverlayFixture(ImVec2 display = ImVec2(1280, 800))
      : owner_{ImGui::CreateContext()}, context_(owner_.context), probe_(context_) {
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = display;
    io.DeltaTime = 1.0f / 60.0f;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    overlay::ConfigureOverlayContext();
    reader_ = std::make_unique<TextReader>();
    input_.menuOpen = true;
  }

  void Publish(const game::MenuSnapshot& snapshot) {
    std::lock_guard<std::mutex> lock(shared_.settingsLock);
    shared_.snapshot = std::make_shared<const game::MenuSnapshot>(snapshot);
  }

  // One overlay frame: shared state copied, queued input fed, ImGui frame built, and (unless
  // `finishFrames_` is cleared) a settings change the menu made published.
  void Frame(int count = 1) {
    for (int i = 0; i < count; ++i) {
      probe_.Clear();
      const overlay::FramePlan plan = overlay::BeginOverlayFrame(shared_, copies_, input_);
      queue_.Drain([](const overlay::InputEvent& e) { overlay::FeedMouseEvent(e); });
      if (plan.Any()) overlay::BuildOverlayFrame(shared_, copies_, input_, plan);
      if (finishFrames_) overlay::FinishOverlayFrame(shared_, copies_);
    }
  }

  void MoveTo(ImVec2 at) {
    input_.cursorX = at.x;
    input_.cursorY = at.y;
    Frame();
  }
  void Button(bool down) {
    overlay::InputEvent e;
    e.kind = overlay::InputEvent::Kind::kMouseButton;
    e.down = down;
    queue_.Push(e);
    Frame();
  }
  void ClickAt(ImVec2 at) {
    MoveTo(at);
    Button(true);
    Button(false);
    Frame();
  }
  // Clicks the widget laid out with this label in the last frame.
  bool Click(const std::string& label) {
    const auto item = Item(label);
    if (item) ClickAt(item->Centre());
    return item.has_value();
  }
  // Clicks just left of a text of the last frame: the frame of a combo, whose label it is.
  bool ClickBeside(const std::string& text) {
    const auto texts = Texts();
    const DrawnText* label = FindText(texts, text);
    if (label) ClickAt(ImVec2(label->X(text) - 20.0f, label->at.y + 4.0f));
    return label != nullptr;
  }
  // A copy: the probe forgets its items at the next frame.
  std::optional<overlay::ProbedItem> Item(const std::string& label) const {
    const overlay::ProbedItem* item = probe_.Find(label);
    if (!item) return std::nullopt;
    return *item;
  }

  std::vector<DrawnText> Texts() const {
    std::vector<DrawnText> runs;
    const ImDrawData* data = ImGui::GetDrawData();
    for (int l = 0; data && data->Valid && l < data->CmdListsCount; ++l)
      reader_->Read(data->CmdLists[l], runs);
    return runs;
  }
  bool Shows(const std::string& text) const { return FindText(Texts(), text) != nullptr; }

  struct ContextOwner {  // destroyed last, after the probe detached
    ImGuiContext* context;
    ~ContextOwner() { ImGui::DestroyContext(context); }
  } owner_;
  ImGuiContext* context_;
  overlay::ItemProbe probe_;
  std::unique_ptr<TextReader> reader_;
  ModState shared_;
  overlay::RenderCopies copies_;
  overlay::OverlayInput input_;
  bool finishFrames_ = true;
  overlay::InputQueue queue_;
};

}  // namespace kvr::test
