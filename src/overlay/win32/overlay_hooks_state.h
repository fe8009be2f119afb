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

struct OverlayHooks {
  void** patchedTable = nullptr;  // non-null once installation was attempted
  std::atomic<PresentFn> previousPresent{nullptr};
  std::atomic<ResizeBuffersFn> previousResizeBuffers{nullptr};

  // Render thread, from the first frame on.
  HWND gameWindow = nullptr;
  std::atomic<WNDPROC> previousWndProc{nullptr};  // read by the window thread
  IDXGISwapChain* gameSwapChain = nullptr;
  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* context = nullptr;
  ID3D11RenderTargetView* renderTarget = nullptr;  // null when it must be created
  bool gaveUp = false;
  std::atomic<bool> ready{false};  // read by the window thread
  uint32_t frameFaults = 0;        // never reset

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

// Render thread, just before ImGui's new frame: feeds what the window procedure queued.
void FeedQueuedInput(OverlayHooks& hooks);

}  // namespace kvr::overlay::win32
