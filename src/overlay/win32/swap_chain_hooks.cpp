// Installing and removing the overlay's entries in the swap-chain method table. The table is
// found on a throw-away device and swap chain on a hidden window: every swap chain of the
// process shares it, so the game's swap chain is caught as well.
#include <cstdio>
#include <mutex>

#include "host/log.h"
#include "host/mod_state.h"
#include "overlay/overlay_hooks.h"
#include "overlay/win32/overlay_hooks_state.h"

namespace kvr::overlay {

namespace win32 {

OverlayHooks& Hooks() {
  static OverlayHooks* hooks = new OverlayHooks;
  return *hooks;
}

namespace {

constexpr wchar_t kDummyClass[] = L"KorvathNeuralNavDummy";

// Writes one slot of the method table; false (slot untouched) when it cannot be made writable.
bool WriteSlot(void** slot, void* value, void** previous) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection)) return false;
  void* old = InterlockedExchangePointer(slot, value);
  if (previous) *previous = old;
  VirtualProtect(slot, sizeof(void*), protection, &protection);
  return true;
}

struct ThrowAwaySwapChain {
  HWND window = nullptr;
  IDXGISwapChain* swapChain = nullptr;
  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* context = nullptr;

  bool Create() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kDummyClass;
    RegisterClassExW(&wc);
    window = CreateWindowExW(0, kDummyClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                             nullptr, wc.hInstance, nullptr);
    if (!window) return false;
    DXGI_SWAP_CHAIN_DESC desc{};
    desc.BufferDesc.Width = 64;
    desc.BufferDesc.Height = 64;
    desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 1;
    desc.OutputWindow = window;
    desc.Windowed = TRUE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    for (D3D_DRIVER_TYPE driver : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}) {
      D3D_FEATURE_LEVEL level;
      if (SUCCEEDED(D3D11CreateDeviceAndSwapChain(nullptr, driver, nullptr, 0, nullptr, 0,
                                                  D3D11_SDK_VERSION, &desc, &swapChain, &device,
                                                  &level, &context)))
        return swapChain != nullptr;
    }
    return false;
  }

  ~ThrowAwaySwapChain() {
    if (swapChain) swapChain->Release();
    if (context) context->Release();
    if (device) device->Release();
    if (window) DestroyWindow(window);
    UnregisterClassW(kDummyClass, GetModuleHandleW(nullptr));
  }
};

bool Installed(const OverlayHooks& h) {
  const PresentFn present = h.previousPresent.load();
  const ResizeBuffersFn resize = h.previousResizeBuffers.load();
  return present && resize && present != &PresentHook && resize != &ResizeBuffersHook;
}

// Another thread may present through the slot the moment it holds the hook, so the function
// the hook calls through is known before the slot is written. True when the hook is in the slot.
template <typename Fn>
bool PatchSlot(void** table, int slot, void* hook, std::atomic<Fn>& previous) {
  void* current = table[slot];
  if (current == hook) return previous.load() != nullptr;  // put back on top by someone else
  previous = reinterpret_cast<Fn>(current);
  void* replaced = nullptr;
  if (!WriteSlot(&table[slot], hook, &replaced)) {
    previous = nullptr;
    return false;
  }
  if (replaced != current) previous = reinterpret_cast<Fn>(replaced);
  return true;
}

// Writes each entry that is not reached any more. An entry still reached (another program
// chained itself on top before the last removal) keeps its previous function.
void Patch(OverlayHooks& h, void** table) {
  h.patchedTable = table;
  if (!h.presentInChain)
    h.presentInChain =
        PatchSlot(table, kPresentSlot, reinterpret_cast<void*>(&PresentHook), h.previousPresent);
  if (!h.resizeInChain)
    h.resizeInChain =
        PatchSlot(table, kResizeBuffersSlot, reinterpret_cast<void*>(&ResizeBuffersHook),
                  h.previousResizeBuffers);
}

// Takes an entry out where the slot still holds it; elsewhere it stays reached and passes
// everything through.
template <typename Fn>
void Unpatch(void** table, int slot, void* hook, const std::atomic<Fn>& previous, bool& inChain) {
  if (!table || !inChain || table[slot] != hook) return;
  if (WriteSlot(&table[slot], reinterpret_cast<void*>(previous.load()), nullptr)) inChain = false;
}

// Removal happens while the game goes on: a frame under way (which may still subclass the
// window or draw on the render target) finishes first.
void WaitForFrames(const OverlayHooks& h) {
  while (h.framesInFlight.load() != 0) Sleep(0);
}

BOOL CALLBACK NoteVisibleWindow(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;  // one is enough
}

// Whether this process shows a window at all. A process without one (a host run without a
// game window) has nothing an overlay could draw on, so hooks that could not be installed there
// are no fault.
bool ProcessHasVisibleWindow() {
  bool found = false;
  EnumWindows(&NoteVisibleWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The menu key start-up read from config.ini.
std::string ConfiguredMenuKey() {
  ModState& state = ModState::Get();
  std::lock_guard<std::mutex> lock(state.settingsLock);
  return KeyName(state.sharedSettings.MenuKey);
}

}  // namespace

}  // namespace win32

bool InstallOverlayHooks(const std::atomic<uint32_t>* gameThreadId) {
  win32::OverlayHooks& h = win32::Hooks();
  h.gameThreadId = gameThreadId;
  if (h.active.load()) return win32::Installed(h);
  // A removed overlay is installed again for real (a mod host can remove the mod and start it
  // again in one process): only what is still reached is left as it is.
  if (!h.presentInChain || !h.resizeInChain) {
    win32::ThrowAwaySwapChain dummy;
    if (dummy.Create()) win32::Patch(h, *reinterpret_cast<void***>(dummy.swapChain));
  }
  const bool installed = h.presentInChain && h.resizeInChain && win32::Installed(h);
  h.active = installed;
  if (!installed && !win32::ProcessHasVisibleWindow()) {
    Log("overlay: no window to draw on: the overlay stays off");
    return false;
  }
  char line[160];
  std::snprintf(
      line, sizeof(line),
      "overlay: swap-chain hooks %s (vtable slots %d/%d from the Windows SDK); menu key %s",
      installed ? "installed" : "FAILED", win32::kPresentSlot, win32::kResizeBuffersSlot,
      win32::ConfiguredMenuKey().c_str());
  Log(line);
  return installed;
}

void RemoveOverlayHooks() {
  win32::OverlayHooks& h = win32::Hooks();
  h.active = false;
  win32::WaitForFrames(h);
  win32::UpdateDrawable(h);  // the menu closes; the game gets every message again
  win32::Unpatch(h.patchedTable, win32::kPresentSlot, reinterpret_cast<void*>(&win32::PresentHook),
                 h.previousPresent, h.presentInChain);
  win32::Unpatch(h.patchedTable, win32::kResizeBuffersSlot,
                 reinterpret_cast<void*>(&win32::ResizeBuffersHook), h.previousResizeBuffers,
                 h.resizeInChain);
  const WNDPROC previous = h.previousWndProc.load();
  if (h.gameWindow && previous &&
      GetWindowLongPtrW(h.gameWindow, GWLP_WNDPROC) ==
          reinterpret_cast<LONG_PTR>(&win32::MenuWndProc) &&
      SetWindowLongPtrW(h.gameWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous)))
    h.wndProcInChain = false;
  // The view holds the game's back buffer: the game's next resize would fail while it is held.
  if (h.renderTarget) h.renderTarget->Release();
  h.renderTarget = nullptr;
}

}  // namespace kvr::overlay
