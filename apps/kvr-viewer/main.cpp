// kvr-viewer: the mod's menu and route overlay on a desktop window, over the arena seen from
// behind the player. The mod's own overlay code draws them, from a snapshot of routes that the
// mod's arc builder planned on the level's navmesh. The menu key (F9) toggles the menu; the
// mouse works the menu; settings changed in it take effect in the viewer (for instance the
// route overlay switch).
#include <GLFW/glfw3.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include "arena_scene.h"
#include "imgui.h"
#include "imgui_impl_glfw.h"
#include "imgui_impl_opengl3.h"
#include "imgui_internal.h"
#include "overlay/overlay_frame.h"
#include "sim/png_file.h"

namespace {

using namespace kvr;

struct Options {
  std::string level = "default";
  int width = 1280;
  int height = 720;
  bool menu = false;
  std::string screenshot;
  int frames = 0;  // 0 = until the window is closed
};

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
  overlay::RenderCopies copies;
  overlay::OverlayInput input;
};

void OnKey(GLFWwindow* window, int key, int, int action, int) {
  auto* v = static_cast<Viewer*>(glfwGetWindowUserPointer(window));
  if (action == GLFW_PRESS && key == GlfwKey(v->input.menuKey.load()))
    v->input.menuOpen = !v->input.menuOpen.load();
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

int Run(const Options& o) {
  Viewer v;
  std::string error;
  const std::string level = o.level == "default" ? sim::LevelPath("arena") : o.level;
  if (!viewer::BuildArenaScene(level, v.scene, error)) {
    std::cerr << "kvr-viewer: " << error << "\n";
    return 2;
  }
  ModState& shared = ModState::Get();
  shared.sharedSettings.ShowPathOverlay = true;
  shared.snapshot = std::make_shared<const game::MenuSnapshot>(v.scene.snapshot);
  v.input.menuOpen = o.menu;

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
  // The arena goes into the background list right after the new frame, under the routes.
  ImGuiContextHook hook;
  hook.Type = ImGuiContextHookType_NewFramePost;
  hook.UserData = &v;
  hook.Callback = [](ImGuiContext*, ImGuiContextHook* h) {
    viewer::DrawArena(ImGui::GetBackgroundDrawList(), ImGui::GetIO().DisplaySize,
                      static_cast<Viewer*>(h->UserData)->scene);
  };
  ImGui::AddContextHook(ImGui::GetCurrentContext(), &hook);

  int status = 0;
  for (int frame = 1; !glfwWindowShouldClose(window); ++frame) {
    glfwPollEvents();
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    double x = 0, y = 0;
    glfwGetCursorPos(window, &x, &y);
    v.input.cursorX = static_cast<float>(x);
    v.input.cursorY = static_cast<float>(y);
    const overlay::FramePlan plan = overlay::BeginOverlayFrame(shared, v.copies, v.input);
    overlay::BuildOverlayFrame(shared, v.copies, v.input, plan);
    int w = 0, h = 0;
    glfwGetFramebufferSize(window, &w, &h);
    glViewport(0, 0, w, h);
    glClearColor(0.35f, 0.48f, 0.62f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (o.frames > 0 && frame >= o.frames) {
      if (!o.screenshot.empty() && !SaveScreenshot(o.screenshot, w, h)) {
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
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"kvr-viewer: the mod's menu and route overlay over the simulated arena"};
  app.add_option("--level", o.level, "Level JSON file, or \"default\" for the arena")
      ->capture_default_str();
  app.add_option("--width", o.width, "Window width")->capture_default_str();
  app.add_option("--height", o.height, "Window height")->capture_default_str();
  app.add_flag("--menu", o.menu, "Start with the menu open (F9 toggles it)");
  app.add_option("--frames", o.frames, "Stop after this many frames (0: when the window closes)");
  app.add_option("--screenshot", o.screenshot, "With --frames: save the last frame as PNG");
  CLI11_PARSE(app, argc, argv);
  return Run(o);
}
