// The overlay's CPU cost per presented frame, on a headless ImGui context (no renderer: the
// GPU side is the game's business). A full frame: the menu open on its busiest tab (Neural
// Network: 24 settings widgets and a 32-genome table) with 64 route lines of 20 points; and the
// frame that draws nothing (menu closed, overlay off), which every game frame pays.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "imgui.h"
#include "overlay/imgui_glue/item_probe.h"
#include "overlay/overlay_frame.h"

namespace {

using namespace kvr;

game::MenuSnapshot BusySnapshot() {
  game::MenuSnapshot s;
  s.layerSizes = {12, 16, 12, 7};
  for (int g = 0; g < 32; ++g) s.genomes.push_back({g, g / 4, 10 + g, 2, 0.03 * g});
  for (int t = 0; t < 16; ++t) {
    game::ThugRow row;
    row.pawnClassName = "BP_Thug_C";
    row.currentStyle = t % 7;
    s.thugs.push_back(row);
  }
  s.camera.valid = true;
  s.camera.location = {0, 0, 300};
  s.camera.rotation = {-10, 0, 0};
  for (int r = 0; r < 64; ++r) {
    game::RouteLine line;
    line.style = r % 7;
    line.colour = aps::Style(line.style).colour;
    line.label = aps::Style(line.style).name;
    line.reshaped = r % 2 == 0;
    for (int k = 0; k < 20; ++k) {
      const float t = static_cast<float>(k) / 19.0f;
      line.points.push_back(
          {500.0f + 2000.0f * t, -1500.0f + 47.0f * r + 300.0f * std::sin(3 * t), 0});
    }
    s.routes.push_back(std::move(line));
  }
  return s;
}

struct Headless {
  ImGuiContext* context = ImGui::CreateContext();
  ModState shared;
  overlay::RenderCopies copies;
  overlay::OverlayInput input;

  Headless() {
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(1920, 1080);
    io.DeltaTime = 1.0f / 60.0f;
    unsigned char* pixels;
    int w, h;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    overlay::ConfigureOverlayContext();
  }
  ~Headless() { ImGui::DestroyContext(context); }
  void Frame() {
    const overlay::OverlayFrameTimer timer(copies);  // as the Present hook times its frames
    const overlay::FramePlan plan = overlay::BeginOverlayFrame(shared, copies, input);
    if (plan.Any()) overlay::BuildOverlayFrame(shared, copies, input, plan);
  }
  // Opens a tab the way a player does: a click on it.
  bool OpenTab(const char* name) {
    overlay::ItemProbe probe(context);
    Frame();
    Frame();
    const overlay::ProbedItem* tab = probe.Find(name);
    if (!tab) return false;
    input.cursorX = tab->Centre().x;
    input.cursorY = tab->Centre().y;
    Frame();
    ImGui::GetIO().AddMouseButtonEvent(0, true);
    Frame();
    ImGui::GetIO().AddMouseButtonEvent(0, false);
    Frame();
    input.cursorX = input.cursorY = 5;  // off the widgets: no tooltip
    Frame();
    return true;
  }
};

void BM_OverlayFrameMenuAndRoutes(benchmark::State& state) {
  Headless h;
  h.shared.snapshot = std::make_shared<const game::MenuSnapshot>(BusySnapshot());
  h.shared.sharedSettings.ShowPathOverlay = true;
  h.input.menuOpen = true;
  if (!h.OpenTab("Neural Network")) state.SkipWithError("no Neural Network tab");
  for (auto _ : state) h.Frame();
  const ImDrawData* data = ImGui::GetDrawData();
  state.counters["vertices"] = data ? data->TotalVtxCount : 0;
  // The overlay's own figure, as the Status tab shows it (wall time on this thread).
  state.counters["self_measured_us"] =
      h.copies.overlayCost.Lifetime(h.copies.overlayTicks.NanosecondsPerTick()).meanUs;
}
BENCHMARK(BM_OverlayFrameMenuAndRoutes)->Unit(benchmark::kMicrosecond);

// The Status tab with the cost line, 64 routes drawn.
void BM_OverlayFrameStatusTab(benchmark::State& state) {
  Headless h;
  h.shared.snapshot = std::make_shared<const game::MenuSnapshot>(BusySnapshot());
  h.shared.sharedSettings.ShowPathOverlay = true;
  h.input.menuOpen = true;
  if (!h.OpenTab("Status")) state.SkipWithError("no Status tab");
  for (auto _ : state) h.Frame();
}
BENCHMARK(BM_OverlayFrameStatusTab)->Unit(benchmark::kMicrosecond);

void BM_OverlayFrameNothingWanted(benchmark::State& state) {
  Headless h;
  h.shared.snapshot = std::make_shared<const game::MenuSnapshot>(BusySnapshot());
  for (int i = 0; i < 250; ++i) h.shared.recentLog.push_back("a line of the recent log");
  for (auto _ : state) {
    const overlay::FramePlan plan = overlay::BeginOverlayFrame(h.shared, h.copies, h.input);
    benchmark::DoNotOptimize(plan);
  }
}
BENCHMARK(BM_OverlayFrameNothingWanted)->Unit(benchmark::kNanosecond);

}  // namespace
