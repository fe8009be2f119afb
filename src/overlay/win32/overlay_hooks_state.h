// OverlayHooks: the overlay's process-wide state on Windows (the patched swap-chain entries, the
// game window and its previous procedure, the Direct3D objects of the game's swap chain, the
// set-up flags and the frame fault count), with what the window procedure and the render thread
// share and the render thread's own copies.
#pragma once
#include <d3d11.h>
#include <dxgi.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "imgui.h"
#include "overlay/overlay_input.h"
#include "overlay/render_copies.h"

namespace kvr::overlay::win32 {

using PresentFn = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain* self, UINT syncInterval, UINT flags);
using ResizeBuffersFn = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain* self, UINT bufferCount,
                                                    UINT width, UINT height, DXGI_FORMAT format,
                                                    UINT flags);

// IDXGISwapChain's method-table slots, as the Windows SDK declares the interface.
inline constexpr int kPresentSlot = 8;
inline constexpr int kResizeBuffersSlot = 13;

// Faults caught in the frame sequence before the overlay stops for good.
inline constexpr uint32_t kFrameFaultLimit = 6;

// The game's bindings saved around the overlay's drawing. Kept in the hook state rather than on
// the stack, so that a fault between saving and restoring still gives them back.
struct SavedTargets {
  ID3D11RenderTargetView* views[D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT] = {};
  ID3D11DepthStencilView* depth = nullptr;
  bool held = false;
};

struct OverlayHooks {
  void** patchedTable = nullptr;  // the table the entries were last written into
  std::atomic<PresentFn> previousPresent{nullptr};
  std::atomic<ResizeBuffersFn> previousResizeBuffers{nullptr};
  // Whether each entry is still reached. Removal takes an entry out only where the slot still
  // holds it; when another program chained itself on top, the entry stays reachable through
  // that program and must not be written a second time (it would end up calling itself).
  bool presentInChain = false;  // loader thread only
  bool resizeInChain = false;
  // Between installation and removal (a mod host can remove the mod and start it again in the
  // same process); the hooks pass everything through while it is clear.
  std::atomic<bool> active{false};
  // The game thread, from the mod's tick entry (0 until known): the game's window belongs to it.
  std::atomic<const std::atomic<uint32_t>*> gameThreadId{nullptr};
  // Overlay frames under way; removal waits for them before it lets go of the render target.
  std::atomic<int> framesInFlight{0};

  // Render thread, from the first frame on.
  HWND gameWindow = nullptr;
  std::atomic<WNDPROC> previousWndProc{nullptr};  // read by the window thread
  std::atomic<bool> wndProcInChain{false};        // same rule as the swap-chain entries
  IDXGISwapChain* gameSwapChain = nullptr;
  std::atomic<IDXGISwapChain*> checkedForeignChain{nullptr};  // last other chain looked at
  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* context = nullptr;
  ID3D11RenderTargetView* renderTarget = nullptr;  // null when it must be created
  ImVec2 targetSize{0.0f, 0.0f};                   // of the back buffer the view is on
  SavedTargets saved;
  std::atomic<bool> gaveUp{false};
  std::atomic<bool> replaced{false};  // the game presents on another swap chain now
  std::atomic<bool> ready{false};     // ImGui and the window procedure set up
  // A menu can be drawn now: ready, active, not stopped by faults, the game's chain still in
  // use. The window procedure lets everything through to the game while it is clear.
  std::atomic<bool> drawable{false};
  std::atomic<uint32_t> frameFaults{0};  // never reset
  std::vector<InputEvent> drained;       // queued input taken out for one frame

  OverlayInput input;  // shared with the window procedure
  InputQueue queue;    // window thread to render thread
  RenderCopies copies;
};

// Created on first use; never destroyed (a frame may still run while the process exits).
OverlayHooks& Hooks();

HRESULT STDMETHODCALLTYPE PresentHook(IDXGISwapChain* self, UINT syncInterval, UINT flags);
HRESULT STDMETHODCALLTYPE ResizeBuffersHook(IDXGISwapChain* self, UINT bufferCount, UINT width,
                                            UINT height, DXGI_FORMAT format, UINT flags);
LRESULT CALLBACK MenuWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Render thread, just before ImGui's new frame: feeds the input taken out of the queue.
void FeedQueuedInput(OverlayHooks& hooks);

// Whether a menu can be drawn, and closes the menu when it cannot.
void UpdateDrawable(OverlayHooks& hooks);

}  // namespace kvr::overlay::win32
