// The simulated windows' Direct3D 11: a device and a windowed swap chain of one buffer on a
// window, as a game (and a mod host's console) makes them.
#pragma once
#include <d3d11.h>
#include <dxgi.h>
#include <windows.h>

namespace kvr::sim::win32 {

// The hardware device, its context and a swap chain presenting `width` x `height` on `window`.
HRESULT CreateWindowedSwapChain(HWND window, int width, int height, IDXGISwapChain** chain,
                                ID3D11Device** device, ID3D11DeviceContext** context);

}  // namespace kvr::sim::win32
