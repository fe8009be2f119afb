// The game window's replacement procedure, and the render thread's end of the input hand-over.
#include "imgui.h"
#include "overlay/win32/overlay_hooks_state.h"
#include "overlay/window_input.h"
#include "platform/steady_clock.h"

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND window, UINT message,
                                                             WPARAM wparam, LPARAM lparam);

namespace kvr::overlay::win32 {

namespace {

RawMouse ReadRawMouse(LPARAM lparam) {
  RawMouse out;
  RAWINPUT input{};
  UINT size = sizeof(input);
  static_assert(sizeof(RAWINPUT) == 48 && sizeof(RAWINPUTHEADER) == 24);
  if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lparam), RID_INPUT, &input, &size,
                      sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1))
    return out;
  if (input.header.dwType != RIM_TYPEMOUSE) return out;
  out.valid = true;
  out.flags = input.data.mouse.usFlags;
  out.dx = input.data.mouse.lLastX;
  out.dy = input.data.mouse.lLastY;
  out.buttonFlags = input.data.mouse.usButtonFlags;
  out.buttonData = static_cast<int16_t>(input.data.mouse.usButtonData);
  return out;
}

uint8_t HeldModifiers() {
  uint8_t mods = 0;
  if (GetKeyState(VK_CONTROL) & 0x8000) mods |= kModCtrl;
  if (GetKeyState(VK_SHIFT) & 0x8000) mods |= kModShift;
  if (GetKeyState(VK_MENU) & 0x8000) mods |= kModAlt;
  if ((GetKeyState(VK_LWIN) | GetKeyState(VK_RWIN)) & 0x8000) mods |= kModSuper;
  return mods;
}

ClientSize ClientOf(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return {rect.right, rect.bottom};
}

}  // namespace

LRESULT CALLBACK MenuWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  OverlayHooks& h = Hooks();
  const bool ready = h.drawable.load();  // a menu can be drawn now
  const bool open = h.input.menuOpen.load();
  const bool needsClient =
      message == WM_KEYDOWN || message == WM_SYSKEYDOWN || (message == WM_INPUT && open);
  const RawMouse raw = message == WM_INPUT && open && ready ? ReadRawMouse(lparam) : RawMouse{};
  const MessageVerdict verdict = HandleWindowMessage(
      h.input, h.queue, {message, static_cast<uint64_t>(wparam), static_cast<int64_t>(lparam)}, raw,
      needsClient ? ClientOf(window) : ClientSize{}, platform::SteadySeconds(), ready,
      open ? HeldModifiers() : 0);
  switch (verdict) {
    case MessageVerdict::kSwallow:
      return 0;
    case MessageVerdict::kDefault:
      return DefWindowProcW(window, message, wparam, lparam);
    case MessageVerdict::kPassToGame:
      break;
  }
  const WNDPROC previous = h.previousWndProc.load();
  return previous ? CallWindowProcW(previous, window, message, wparam, lparam)
                  : DefWindowProcW(window, message, wparam, lparam);
}

void FeedQueuedInput(OverlayHooks& h) {
  for (const InputEvent& e : h.drained) {
    if (e.kind != InputEvent::Kind::kWindowMessage) {
      FeedMouseEvent(e);
      continue;
    }
    ImGui_ImplWin32_WndProcHandler(h.gameWindow, e.message, static_cast<WPARAM>(e.wparam),
                                   static_cast<LPARAM>(e.lparam));
    // The backend asked this thread's keyboard state; the window thread's is what counts.
    ImGuiIO& io = ImGui::GetIO();
    io.AddKeyEvent(ImGuiMod_Ctrl, (e.modifiers & kModCtrl) != 0);
    io.AddKeyEvent(ImGuiMod_Shift, (e.modifiers & kModShift) != 0);
    io.AddKeyEvent(ImGuiMod_Alt, (e.modifiers & kModAlt) != 0);
    io.AddKeyEvent(ImGuiMod_Super, (e.modifiers & kModSuper) != 0);
  }
  h.drained.clear();
}

void UpdateDrawable(OverlayHooks& h) {
  const bool can = h.active.load() && h.ready.load() && !h.gaveUp.load() && !h.replaced.load() &&
                   h.frameFaults.load() < kFrameFaultLimit && h.wndProcInChain.load();
  h.drawable.store(can);
  if (!can) h.input.menuOpen.store(false);
}

}  // namespace kvr::overlay::win32
