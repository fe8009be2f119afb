#include "sim/win32/foreign_window.h"

#include "sim/win32/d3d_swap_chain.h"

namespace kvr::sim::win32 {

namespace {

constexpr wchar_t kClassName[] = L"KvrStandInHostConsole";
constexpr float kConsole[4] = {0.1f, 0.1f, 0.1f, 1.0f};

struct Presenter {
  HWND window = nullptr;
  IDXGISwapChain* chain = nullptr;
  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* context = nullptr;
  ID3D11RenderTargetView* target = nullptr;

  bool Make(int width, int height) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
    window = CreateWindowExW(0, kClassName, L"kvr-sim: mod host console", WS_OVERLAPPEDWINDOW, 40,
                             40, width, height, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return false;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    if (FAILED(CreateWindowedSwapChain(window, width, height, &chain, &device, &context)))
      return false;
    ID3D11Texture2D* back = nullptr;
    if (FAILED(chain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&back))))
      return false;
    device->CreateRenderTargetView(back, nullptr, &target);
    back->Release();
    return target != nullptr;
  }

  ~Presenter() {
    if (target) target->Release();
    if (chain) chain->Release();
    if (context) context->Release();
    if (device) device->Release();
    if (window) DestroyWindow(window);
    UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
  }
};

}  // namespace

ForeignWindow::~ForeignWindow() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

bool ForeignWindow::Open(int width, int height, std::string& error) {
  thread_ = std::thread([this, width, height] { Run(width, height); });
  while (state_.load() == 0) Sleep(1);
  if (state_.load() > 0) return true;
  error = "cannot make the mod host's console window";
  return false;
}

void ForeignWindow::Run(int width, int height) {
  Presenter p;
  if (!p.Make(width, height)) {
    state_ = -1;
    return;
  }
  state_ = 1;
  while (!stop_) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    p.context->OMSetRenderTargets(1, &p.target, nullptr);
    p.context->ClearRenderTargetView(p.target, kConsole);
    p.chain->Present(0, 0);
    ++frames_;
    Sleep(8);
  }
}

}  // namespace kvr::sim::win32
