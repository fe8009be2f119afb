// The few graphics entry points the overlay and ImGui's Windows backends call, found in their
// system DLLs on first use instead of being imported by main.dll. The mod then loads in any game
// process (d3dcompiler_47.dll is missing on some systems, and loading Direct3D into a process
// that never draws with it is not ours to do); without them only the overlay is unavailable.
#include <d3d11.h>
#include <d3dcompiler.h>
#include <dwmapi.h>
#include <windows.h>

namespace {

template <typename Fn>
Fn Find(const wchar_t* dll, const char* name) {
  HMODULE module = LoadLibraryW(dll);
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

constexpr HRESULT kMissing = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

}  // namespace

HRESULT WINAPI D3D11CreateDeviceAndSwapChain(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver,
                                             HMODULE software, UINT flags,
                                             const D3D_FEATURE_LEVEL* levels, UINT levelCount,
                                             UINT sdkVersion, const DXGI_SWAP_CHAIN_DESC* desc,
                                             IDXGISwapChain** swapChain, ID3D11Device** device,
                                             D3D_FEATURE_LEVEL* level,
                                             ID3D11DeviceContext** context) {
  static const auto fn =
      Find<PFN_D3D11_CREATE_DEVICE_AND_SWAP_CHAIN>(L"d3d11.dll", "D3D11CreateDeviceAndSwapChain");
  return fn ? fn(adapter, driver, software, flags, levels, levelCount, sdkVersion, desc, swapChain,
                 device, level, context)
            : kMissing;
}

HRESULT WINAPI D3DCompile(const void* data, SIZE_T size, const char* name,
                          const D3D_SHADER_MACRO* defines, ID3DInclude* include, const char* entry,
                          const char* target, UINT flags, UINT effectFlags, ID3DBlob** code,
                          ID3DBlob** errors) {
  static const auto fn = Find<pD3DCompile>(L"d3dcompiler_47.dll", "D3DCompile");
  return fn ? fn(data, size, name, defines, include, entry, target, flags, effectFlags, code,
                 errors)
            : kMissing;
}

HRESULT WINAPI DwmIsCompositionEnabled(WINBOOL* enabled) {
  using Fn = HRESULT(WINAPI*)(WINBOOL*);
  static const auto fn = Find<Fn>(L"dwmapi.dll", "DwmIsCompositionEnabled");
  return fn ? fn(enabled) : kMissing;
}

HRESULT WINAPI DwmGetColorizationColor(DWORD* colour, WINBOOL* opaque) {
  using Fn = HRESULT(WINAPI*)(DWORD*, WINBOOL*);
  static const auto fn = Find<Fn>(L"dwmapi.dll", "DwmGetColorizationColor");
  return fn ? fn(colour, opaque) : kMissing;
}

HRESULT WINAPI DwmEnableBlurBehindWindow(HWND window, const DWM_BLURBEHIND* blur) {
  using Fn = HRESULT(WINAPI*)(HWND, const DWM_BLURBEHIND*);
  static const auto fn = Find<Fn>(L"dwmapi.dll", "DwmEnableBlurBehindWindow");
  return fn ? fn(window, blur) : kMissing;
}
