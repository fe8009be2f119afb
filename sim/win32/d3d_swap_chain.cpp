#include "sim/win32/d3d_swap_chain.h"

namespace kvr::sim::win32 {

HRESULT CreateWindowedSwapChain(HWND window, int width, int height, IDXGISwapChain** chain,
                                ID3D11Device** device, ID3D11DeviceContext** context) {
  DXGI_SWAP_CHAIN_DESC desc{};
  desc.BufferDesc.Width = static_cast<UINT>(width);
  desc.BufferDesc.Height = static_cast<UINT>(height);
  desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  desc.BufferCount = 1;
  desc.OutputWindow = window;
  desc.Windowed = TRUE;
  desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
  D3D_FEATURE_LEVEL level;
  return D3D11CreateDeviceAndSwapChain(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                       D3D11_SDK_VERSION, &desc, chain, device, &level, context);
}

}  // namespace kvr::sim::win32
