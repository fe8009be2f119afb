// kvr-viewer: the living arena on a desktop window, seen from the player's camera or from high
// above, with the mod playing in it: its code is linked into the viewer, so the menu and route
// overlay are drawn by the mod's own overlay code from the snapshots the mod's own update
// publishes. The menu key (F9) toggles the menu; the mouse works the menu; settings changed in
// it take effect in the arena at once, and "Save settings" writes the mod folder's config.ini.
// T switches between the player's camera and the top-down view.
#include <GLFW/glfw3.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include <algorithm>
#include <filesystem>

#include "arena_scene.h"
#include "imgui.h"
#include "imgui_impl_glfw.h"
#include "imgui_impl_opengl3.h"
#include "imgui_internal.h"
#include "overlay/overlay_frame.h"
#include "overlay/route_overlay.h"
#include "platform/file.h"
#include "sim/arena/arena_view.h"
#include "sim/png_file.h"
#include "top_down.h"
#include "version/version.h"

namespace {

using namespace kvr;

struct Options {
  viewer::SceneOptions scene;
  int width = 1280;
  int height = 720;
  bool menu = false;
  bool topDown = false;
  std::string screenshot;
  int frames = 0;  // 0 = until the window is closed
  bool log = false;
};

// Simulated time per shown frame when a fixed number of frames is asked for (a repeatable
// picture); otherwise the arena follows the wall clock.
constexpr double kFixedFrameSeconds = 1.0 / 60.0;
constexpr double kLongestStep = 0.1;  // a stalled window does not make the arena jump
constexpr int kTopDownKey = GLFW_KEY_T;
constexpr viewer::Rgb kSky{0.35f, 0.48f, 0.62f};
constexpr viewer::Rgb kBeyondFloor{0.16f, 0.17f, 0.19f};  // around the floor, seen from above

// The GLFW key of a menu key the menu offers; 0 for any other virtual-key code.
int GlfwKey(int vk) {
  if (vk >= 112 && vk <= 123) return GLFW_KEY_F1 + (vk - 112);
  switch (vk) {
    case 45:
      return GLFW_KEY_INSERT;
    case 46:
      return GLFW_KEY_DELETE;
    case 36:
      return GLFW_KEY_HOME;
    case 35:
      return GLFW_KEY_END;
    case 33:
      return GLFW_KEY_PAGE_UP;
    case 34:
      return GLFW_KEY_PAGE_DOWN;
    case 19:
      return GLFW_KEY_PAUSE;
    case 145:
      return GLFW_KEY_SCROLL_LOCK;
    default:
      return 0;
  }
}

struct Viewer {
  viewer::ArenaScene scene;
  bool topDown = false;
  game::CameraView camera;  // the camera shown this frame: the player's, or the top-down one
  overlay::RenderCopies copies;
  overlay::OverlayInput input;
};

void OnKey(GLFWwindow* window, int key, int, int action, int) {
  auto* v = static_cast<Viewer*>(glfwGetWindowUserPointer(window));
  if (action != GLFW_PRESS) return;
  if (key == GlfwKey(v->input.menuKey.load())) v->input.menuOpen = !v->input.menuOpen.load();
  // Not while the menu takes typed text: a T typed into a field is a letter.
  if (key == kTopDownKey && !ImGui::GetIO().WantTextInput) v->topDown = !v->topDown;
}

bool SaveScreenshot(const std::string& path, int width, int height) {
  sim::Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
  std::vector<uint8_t> rows(image.rgba.size());
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  const size_t stride = static_cast<size_t>(width) * 4;
  for (int y = 0; y < height; ++y)  // OpenGL's rows run bottom to top
    std::copy_n(&rows[(height - 1 - y) * stride], stride, &image.rgba[y * stride]);
  return sim::WritePng(path, image);
}

// The routes are drawn from the snapshot's own camera in the player's view (as in the game),
// from the top-down camera in that view.
const game::CameraView& RouteCamera(const Viewer& v) {
  return v.topDown ? v.camera : v.copies.Snapshot().camera;
}

// Beside a screenshot: where that frame put the thugs (and which the level hides from the
// camera) and the routes the overlay drew.
bool SavePlaces(const std::string& path, Viewer& v, int width, int height) {
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  const sim::Arena& arena = v.scene.Arena();
  const auto* obstacles = &v.scene.Obstacles();
  const std::string text =
      sim::FormatScreenBodies(
          "thug", sim::ProjectBodies(sim::LiveThugPositions(arena), v.camera, w, h, obstacles)) +
      sim::FormatScreenBodies(
          "player", sim::ProjectBodies({arena.Player().position}, v.camera, w, h, obstacles)) +
      sim::FormatScreenRoutes(
          sim::ProjectRouteLines(v.copies.Snapshot().routes, RouteCamera(v), w, h));
  return platform::WriteFileReplacing(path, text) == platform::ReplaceStatus::kOk;
}

// The overlay draws the routes from the snapshot's camera; seen from above, the viewer draws
// the same lines with the mod's route drawing from the top-down camera instead.
void DrawTopDownRoutes(const Viewer& v) {
  const game::MenuSnapshot& snap = v.copies.Snapshot();
  if (!v.topDown || !v.copies.settings.ShowPathOverlay || snap.routes.empty()) return;
  overlay::DrawRoutes(ImGui::GetBackgroundDrawList(), ImGui::GetIO().DisplaySize, v.camera,
                      snap.routes);
}

int Run(const Options& o) {
  Viewer v;
  std::string error;
  if (!v.scene.Open(o.scene, error)) {
    std::cerr << "kvr-viewer: " << error << "\n";
    return 2;
  }
  ModState& shared = ModState::Get();
  v.input.menuOpen = o.menu;
  v.topDown = o.topDown;

  if (!glfwInit()) {
    std::cerr << "kvr-viewer: no display (GLFW could not start)\n";
    return 1;
  }
  GLFWwindow* window = glfwCreateWindow(o.width, o.height, "kvr-viewer", nullptr, nullptr);
  if (!window) {
    std::cerr << "kvr-viewer: cannot open an OpenGL window\n";
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  glfwSwapInterval(1);
  glfwSetWindowUserPointer(window, &v);
  glfwSetKeyCallback(window, &OnKey);  // the backend chains to it

  ImGui::CreateContext();
  overlay::ConfigureOverlayContext();
  ImGui_ImplGlfw_InitForOpenGL(window, true);
  ImGui_ImplOpenGL3_Init(nullptr);
  // Seen from above, the routes go into the background list right after the new frame.
  ImGuiContextHook hook;
  hook.Type = ImGuiContextHookType_NewFramePost;
  hook.UserData = &v;
  hook.Callback = [](ImGuiContext*, ImGuiContextHook* h) {
    DrawTopDownRoutes(*static_cast<Viewer*>(h->UserData));
  };
  ImGui::AddContextHook(ImGui::GetCurrentContext(), &hook);

  int status = 0;
  double last = glfwGetTime();
  for (int frame = 1; !glfwWindowShouldClose(window); ++frame) {
    glfwPollEvents();
    const double now = glfwGetTime();
    v.scene.Advance(o.frames > 0 ? kFixedFrameSeconds : std::min(now - last, kLongestStep));
    last = now;
    int w = 0, h = 0;
    glfwGetFramebufferSize(window, &w, &h);
    v.camera = v.topDown ? viewer::TopDownCamera(v.scene.Level(), static_cast<float>(w),
                                                 static_cast<float>(h))
                         : v.scene.Camera();
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    double x = 0, y = 0;
    glfwGetCursorPos(window, &x, &y);
    v.input.cursorX = static_cast<float>(x);
    v.input.cursorY = static_cast<float>(y);
    overlay::FramePlan plan = overlay::BeginOverlayFrame(shared, v.copies, v.input);
    plan.drawRoutes = plan.drawRoutes && !v.topDown;  // DrawTopDownRoutes draws them then
    overlay::BuildOverlayFrame(shared, v.copies, v.input, plan);
    overlay::FinishOverlayFrame(shared, v.copies);
    glViewport(0, 0, w, h);
    v.scene.Render(v.camera, w, h, v.topDown ? kBeyondFloor : kSky);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (o.frames > 0 && frame >= o.frames) {
      if (!o.screenshot.empty() &&
          (!SaveScreenshot(o.screenshot, w, h) || !SavePlaces(o.screenshot + ".txt", v, w, h))) {
        std::cerr << "kvr-viewer: cannot write " << o.screenshot << "\n";
        status = 1;
      }
      break;
    }
    glfwSwapBuffers(window);
  }
  ImGui_ImplOpenGL3_Shutdown();
  ImGui_ImplGlfw_Shutdown();
  ImGui::DestroyContext();
  glfwDestroyWindow(window);
  glfwTerminate();
  v.scene.Close();
  if (o.log)
    for (const std::string& line : v.scene.Log()) std::cout << line << "\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  o.scene.modDir = (std::filesystem::temp_directory_path() / "kvr-viewer-mod").string();
  CLI::App app{
      "kvr-viewer: the living arena seen from the player's camera or from above, with the mod's "
      "menu and route overlay drawn from the mod's own snapshots. Keys: F9 (the menu key) toggles "
      "the menu, T "
      "toggles the top-down view"};
  app.set_version_flag("--version", kvr::ToolVersionLine("kvr-viewer"));
  app.add_option("--level", o.scene.level,
                 "Level JSON file, \"default\" for the arena, or a shipped level's name")
      ->capture_default_str();
  app.add_option("--thugs", o.scene.thugs, "Thugs in the arena")
      ->check(CLI::Range(0, sim::kMaxArenaThugs))
      ->capture_default_str();
  app.add_option("--seed", o.scene.seed, "Seed of the arena's random events")
      ->capture_default_str();
  app.add_option("--mod-dir", o.scene.modDir,
                 "The mod's folder: config.ini (ShowPathOverlay = 1 is set) and brain.kvrb")
      ->capture_default_str();
  app.add_option("--warmup", o.scene.warmup, "Simulated seconds played before the first picture")
      ->check(CLI::Range(0.0, 3600.0))
      ->capture_default_str();
  app.add_option("--width", o.width, "Window width")->capture_default_str();
  app.add_option("--height", o.height, "Window height")->capture_default_str();
  app.add_flag("--menu", o.menu, "Start with the menu open (F9 toggles it)");
  app.add_flag("--top-down", o.topDown,
               "Start in the top-down view: the whole floor from high above, with the routes the "
               "overlay shows drawn on it (T toggles it)");
  app.add_option("--frames", o.frames,
                 "Stop after this many frames, 1/60 simulated second each (0: play in real time "
                 "until the window closes)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--screenshot", o.screenshot,
                 "Needs --frames N: save the Nth frame as PNG, and beside it PATH.txt: where the "
                 "frame put the thugs (and which a wall hides) and the routes");
  app.add_flag("--log", o.log, "Print every line the mod logged, at the end");
  CLI11_PARSE(app, argc, argv);
  // The picture is taken at the last of a fixed number of frames; a window left open until
  // closed by hand would never take it.
  if (!o.screenshot.empty() && o.frames < 1) {
    std::cerr << "kvr-viewer: --screenshot needs --frames N (N at least 1): the picture is the "
                 "Nth frame\n";
    return 2;
  }
  return Run(o);
}
