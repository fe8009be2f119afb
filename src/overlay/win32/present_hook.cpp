// The hooked Present and ResizeBuffers: the overlay's frame on the game's swap chain, guarded so
// that a fault inside it is counted instead of reaching the game; after the sixth the overlay
// stays out of the way. The game's own Present and ResizeBuffers always run.
#include <cstdio>
#include <mutex>

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

std::string SharedMenuKey() {
  ModState& state = ModState::Get();
  std::lock_guard<std::mutex> lock(state.settingsLock);
  return KeyName(state.sharedSettings.MenuKey);
}

// Subclasses the game window. The previous procedure is known before MenuWndProc can run, so a
// message arriving in between is never handed to a null procedure.
void Subclass(OverlayHooks& h) {
  h.previousWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h.gameWindow, GWLP_WNDPROC));
  const LONG_PTR replaced =
      SetWindowLongPtrW(h.gameWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuWndProc));
  if (replaced) h.previousWndProc = reinterpret_cast<WNDPROC>(replaced);
}

// The first frame of a swap chain: ImGui and its backends on the game's device and window.
bool SetUp(OverlayHooks& h, IDXGISwapChain* chain) {
  DXGI_SWAP_CHAIN_DESC desc{};
  if (FAILED(chain->GetDesc(&desc)) || !desc.OutputWindow) return false;  // next frame again
  ID3D11Device* device = nullptr;
  if (FAILED(chain->GetDevice(__uuidof(ID3D11Device), reinterpret_cast<void**>(&device))) ||
      !device) {
    h.gaveUp = true;
    Log("overlay: the game's swap chain is not DirectX 11 (remove -dx12/-vulkan launch options) - "
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
    Log("overlay: ImGui backend init failed");
    return false;
  }
  Subclass(h);
  h.ready = true;
  char line[160];
  std::snprintf(line, sizeof(line),
                "overlay ready on DirectX 11 (%ux%u) - press %s in a level for the menu",
                desc.BufferDesc.Width, desc.BufferDesc.Height, SharedMenuKey().c_str());
  Log(line);
  return true;
}

bool CreateRenderTarget(OverlayHooks& h, IDXGISwapChain* chain) {
  ID3D11Texture2D* backBuffer = nullptr;
  if (FAILED(
          chain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&backBuffer))) ||
      !backBuffer)
    return false;
  const HRESULT hr = h.device->CreateRenderTargetView(backBuffer, nullptr, &h.renderTarget);
  backBuffer->Release();
  if (FAILED(hr)) h.renderTarget = nullptr;
  return h.renderTarget != nullptr;
}

// Draws ImGui's output on the back buffer and leaves the game's bindings as they were.
void Render(OverlayHooks& h) {
  ID3D11RenderTargetView* saved[D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT] = {};
  ID3D11DepthStencilView* savedDepth = nullptr;
  h.context->OMGetRenderTargets(D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT, saved, &savedDepth);
  h.context->OMSetRenderTargets(1, &h.renderTarget, nullptr);
  ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
  h.context->OMSetRenderTargets(D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT, saved, savedDepth);
  for (ID3D11RenderTargetView* view : saved)
    if (view) view->Release();
  if (savedDepth) savedDepth->Release();
}

void FrameSequence(IDXGISwapChain* chain) {
  OverlayHooks& h = Hooks();
  if (h.gaveUp) return;
  if (!h.ready && !SetUp(h, chain)) return;
  if (chain != h.gameSwapChain) return;  // other swap chains of the process are left alone
  const OverlayFrameTimer timer(h.copies);
  ModState& shared = ModState::Get();
  const FramePlan plan = BeginOverlayFrame(shared, h.copies, h.input);
  if (!plan.Any()) return;
  if (!h.renderTarget && !CreateRenderTarget(h, chain)) return;
  ImGui_ImplDX11_NewFrame();
  ImGui_ImplWin32_NewFrame();
  FeedQueuedInput(h);
  BuildOverlayFrame(shared, h.copies, h.input, plan);
  Render(h);
}

// A frame abandoned by a fault may have left ImGui inside its frame; close it so the next one
// starts clean.
void RecoverImGuiFrame() {
  ImGuiContext* context = ImGui::GetCurrentContext();
  if (!context || !context->WithinFrameScope) return;
  ImGui::ErrorCheckEndFrameRecover(nullptr);
  ImGui::EndFrame();
}

}  // namespace

HRESULT STDMETHODCALLTYPE PresentHook(IDXGISwapChain* self, UINT syncInterval, UINT flags) {
  OverlayHooks& h = Hooks();
  if (h.frameFaults < kFrameFaultLimit) {
    if (platform::RunTrapped([self] { FrameSequence(self); }) != platform::TrapResult::kCompleted) {
      ++h.frameFaults;
      platform::RunTrapped(&RecoverImGuiFrame);
    }
  }
  return h.previousPresent.load()(self, syncInterval, flags);
}

HRESULT STDMETHODCALLTYPE ResizeBuffersHook(IDXGISwapChain* self, UINT bufferCount, UINT width,
                                            UINT height, DXGI_FORMAT format, UINT flags) {
  OverlayHooks& h = Hooks();
  if (self == h.gameSwapChain && h.renderTarget) {
    h.renderTarget->Release();
    h.renderTarget = nullptr;
  }
  return h.previousResizeBuffers.load()(self, bufferCount, width, height, format, flags);
}

}  // namespace kvr::overlay::win32
