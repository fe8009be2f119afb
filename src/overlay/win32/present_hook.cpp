// The hooked Present and ResizeBuffers: the overlay's frame on the game's swap chain, guarded so
// that a fault inside it is counted instead of reaching the game; after the sixth the overlay
// stays out of the way. The game's own Present and ResizeBuffers always run.
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "host/log.h"
#include "host/mod_state.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "imgui_internal.h"
#include "overlay/overlay_frame.h"
#include "overlay/win32/overlay_hooks_state.h"
#include "platform/fault_trap.h"

namespace kvr::overlay::win32 {

namespace {

// Only until the overlay is set up, and never where a fault is trapped.
std::string SharedMenuKey() {
  ModState& state = ModState::Get();
  std::lock_guard<std::mutex> lock(state.settingsLock);
  return KeyName(state.sharedSettings.MenuKey);
}

// Runs `body` where a machine fault is contained: no lock is taken inside it. A fault is
// counted, and whatever the abandoned frame left behind (an open ImGui frame, the overlay's
// render target bound in place of the game's) is put right. True when `body` completed.
template <typename Body>
bool Trapped(OverlayHooks& h, Body&& body);

// Subclasses the game window. The previous procedure is known before MenuWndProc can run, so a
// message arriving in between is never handed to a null procedure. Not again while the
// procedure is still reached (ours, or below another program's): it would become its own
// previous procedure.
void Subclass(OverlayHooks& h) {
  if (h.wndProcInChain.load()) return;
  h.previousWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h.gameWindow, GWLP_WNDPROC));
  const LONG_PTR replaced =
      SetWindowLongPtrW(h.gameWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuWndProc));
  if (replaced) h.previousWndProc = reinterpret_cast<WNDPROC>(replaced);
  h.wndProcInChain =
      GetWindowLongPtrW(h.gameWindow, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&MenuWndProc);
}

// The game's window belongs to the game thread, which pumps its messages between ticks; a mod
// host that draws its own console with Direct3D 11 does so on a window of another thread.
bool IsGameWindow(const OverlayHooks& h, HWND window) {
  const std::atomic<uint32_t>* gameThread = h.gameThreadId.load();
  if (!gameThread) return true;  // nothing known about the game: the first window will do
  const uint32_t id = gameThread->load();
  return id != 0 && GetWindowThreadProcessId(window, nullptr) == id;
}

// The first frame of the game's swap chain: ImGui and its backends on the game's device and
// window. Lines to log go to `lines` (logging takes a lock).
bool SetUp(OverlayHooks& h, IDXGISwapChain* chain, const std::string& menuKey,
           std::vector<std::string>& lines) {
  DXGI_SWAP_CHAIN_DESC desc{};
  if (FAILED(chain->GetDesc(&desc)) || !desc.OutputWindow) return false;  // next frame again
  if (!IsGameWindow(h, desc.OutputWindow)) return false;  // not the game's, or not known yet
  ID3D11Device* device = nullptr;
  if (FAILED(chain->GetDevice(__uuidof(ID3D11Device), reinterpret_cast<void**>(&device))) ||
      !device) {
    h.gaveUp = true;
    lines.push_back(
        "overlay: the game's swap chain is not DirectX 11 (remove -dx12/-vulkan launch options) - "
        "use config.ini instead");
    return false;
  }
  h.device = device;
  device->GetImmediateContext(&h.context);
  h.gameWindow = desc.OutputWindow;
  h.gameSwapChain = chain;

  IMGUI_CHECKVERSION();
  ImGui::CreateContext(nullptr);
  ConfigureOverlayContext();
  if (!ImGui_ImplWin32_Init(h.gameWindow) || !ImGui_ImplDX11_Init(h.device, h.context)) {
    h.gaveUp = true;
    lines.push_back("overlay: ImGui backend init failed");
    return false;
  }
  Subclass(h);
  h.ready = true;
  char line[160];
  std::snprintf(line, sizeof(line),
                "overlay ready on DirectX 11 (%ux%u) - press %s in a level for the menu",
                desc.BufferDesc.Width, desc.BufferDesc.Height, menuKey.c_str());
  lines.push_back(line);
  return true;
}

// Another swap chain presented. When it draws into the game's window, the game has replaced
// the chain the overlay is set up on, and no menu can be drawn any more.
void NoteOtherChain(OverlayHooks& h, IDXGISwapChain* chain) {
  if (h.checkedForeignChain.exchange(chain) == chain) return;
  DXGI_SWAP_CHAIN_DESC desc{};
  if (SUCCEEDED(chain->GetDesc(&desc)) && desc.OutputWindow == h.gameWindow) h.replaced = true;
}

// True when this frame is the game's and the overlay may draw on it.
bool Attach(OverlayHooks& h, IDXGISwapChain* chain, const std::string& menuKey,
            std::vector<std::string>& lines) {
  if (!h.ready.load() && !SetUp(h, chain, menuKey, lines)) return false;
  if (chain != h.gameSwapChain) {
    NoteOtherChain(h, chain);
    return false;
  }
  Subclass(h);  // again after the mod was removed and started anew
  return true;
}

bool CreateRenderTarget(OverlayHooks& h, IDXGISwapChain* chain) {
  ID3D11Texture2D* backBuffer = nullptr;
  if (FAILED(
          chain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&backBuffer))) ||
      !backBuffer)
    return false;
  D3D11_TEXTURE2D_DESC desc{};
  backBuffer->GetDesc(&desc);
  const HRESULT hr = h.device->CreateRenderTargetView(backBuffer, nullptr, &h.renderTarget);
  backBuffer->Release();
  if (FAILED(hr)) h.renderTarget = nullptr;
  h.targetSize = ImVec2(static_cast<float>(desc.Width), static_cast<float>(desc.Height));
  return h.renderTarget != nullptr;
}

// Puts the game's bindings back and lets go of them; nothing when none are held.
void RestoreTargets(OverlayHooks& h) {
  SavedTargets& saved = h.saved;
  if (!saved.held) return;
  saved.held = false;
  h.context->OMSetRenderTargets(D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT, saved.views, saved.depth);
  for (ID3D11RenderTargetView*& view : saved.views) {
    if (view) view->Release();
    view = nullptr;
  }
  if (saved.depth) saved.depth->Release();
  saved.depth = nullptr;
}

// Draws ImGui's output on the back buffer and leaves the game's bindings as they were.
void Render(OverlayHooks& h) {
  h.context->OMGetRenderTargets(D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT, h.saved.views,
                                &h.saved.depth);
  h.saved.held = true;
  h.context->OMSetRenderTargets(1, &h.renderTarget, nullptr);
  ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
  RestoreTargets(h);
}

// The ImGui frame on the back buffer. ImGui's display is the back buffer, whatever size the
// window's client area has meanwhile; the cursor, in client pixels, is scaled to match.
void DrawOnBackBuffer(OverlayHooks& h, IDXGISwapChain* chain, FramePlan plan) {
  if (!h.renderTarget && !CreateRenderTarget(h, chain)) return;
  ImGui_ImplDX11_NewFrame();
  ImGui_ImplWin32_NewFrame();
  ImGuiIO& io = ImGui::GetIO();
  const ImVec2 client = io.DisplaySize;  // the platform backend's: the client area
  io.DisplaySize = h.targetSize;
  if (client.x > 0.0f && client.y > 0.0f)
    plan.cursorScale = ImVec2(h.targetSize.x / client.x, h.targetSize.y / client.y);
  FeedQueuedInput(h);
  BuildOverlayFrame(ModState::Get(), h.copies, h.input, plan);
  Render(h);
}

// The frame on the game's swap chain. The settings lock is taken out here and the copy made
// under it is trapped inside, so a fault while copying still lets the lock go.
void DrawFrame(OverlayHooks& h, IDXGISwapChain* chain) {
  const OverlayFrameTimer timer(h.copies);
  ModState& shared = ModState::Get();
  const bool menuOpen = h.input.menuOpen.load();
  bool copied = false;
  {
    std::lock_guard<std::mutex> lock(shared.settingsLock);
    copied = Trapped(h, [&] { CopySharedStateLocked(shared, h.copies, menuOpen); });
  }
  if (!copied) return;
  HandInputSettings(h.copies, h.input);
  const FramePlan plan = PlanOverlayFrame(h.copies, menuOpen);
  if (!plan.Any()) return;
  h.queue.TakeAll(h.drained);
  Trapped(h, [&] { DrawOnBackBuffer(h, chain, plan); });
  FinishOverlayFrame(shared, h.copies);
}

void OverlayFrame(OverlayHooks& h, IDXGISwapChain* chain) {
  if (h.gaveUp.load() || h.replaced.load()) return;
  const std::string menuKey = h.ready.load() ? std::string() : SharedMenuKey();
  std::vector<std::string> lines;
  bool ours = false;
  const bool completed = Trapped(h, [&] { ours = Attach(h, chain, menuKey, lines); });
  for (const std::string& line : lines) Log(line);
  if (completed && ours) DrawFrame(h, chain);
  UpdateDrawable(h);
}

// A frame abandoned by a fault may have left ImGui inside its frame; close it so the next one
// starts clean.
void RecoverImGuiFrame() {
  ImGuiContext* context = ImGui::GetCurrentContext();
  if (!context || !context->WithinFrameScope) return;
  ImGui::ErrorCheckEndFrameRecover(nullptr);
  ImGui::EndFrame();
}

template <typename Body>
bool Trapped(OverlayHooks& h, Body&& body) {
  if (platform::RunTrapped(body) == platform::TrapResult::kCompleted) return true;
  ++h.frameFaults;
  platform::RunTrapped(&RecoverImGuiFrame);
  platform::RunTrapped([&h] { RestoreTargets(h); });
  return false;
}

}  // namespace

HRESULT STDMETHODCALLTYPE PresentHook(IDXGISwapChain* self, UINT syncInterval, UINT flags) {
  OverlayHooks& h = Hooks();
  ++h.framesInFlight;
  if (h.active.load() && h.frameFaults.load() < kFrameFaultLimit) OverlayFrame(h, self);
  --h.framesInFlight;
  return h.previousPresent.load()(self, syncInterval, flags);
}

HRESULT STDMETHODCALLTYPE ResizeBuffersHook(IDXGISwapChain* self, UINT bufferCount, UINT width,
                                            UINT height, DXGI_FORMAT format, UINT flags) {
  OverlayHooks& h = Hooks();
  // Also while removed: a view left on the old back buffer would make the resize fail.
  if (self == h.gameSwapChain && h.renderTarget) {
    h.renderTarget->Release();
    h.renderTarget = nullptr;
  }
  return h.previousResizeBuffers.load()(self, bufferCount, width, height, format, flags);
}

}  // namespace kvr::overlay::win32
