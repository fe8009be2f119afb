#include "sim/win32/swap_chain_window.h"

#include <vector>

#include "sim/png_file.h"
#include "sim/win32/d3d_swap_chain.h"

namespace kvr::sim::win32 {

namespace {

constexpr wchar_t kClassName[] = L"KvrStandInGameWindow";
constexpr int kPresentSlot = 8;
constexpr int kGetBufferSlot = 9;
constexpr int kDrawIndexedSlot = 12;  // ID3D11DeviceContext, as the Windows SDK declares it
constexpr float kSky[4] = {20 / 255.0f, 70 / 255.0f, 110 / 255.0f, 1.0f};
constexpr uint32_t kFloorRgba = 0xFF3C3C3C;  // grey, bottom third of the picture

// The one window whose swap chain the extra entries serve.
std::atomic<SwapChainWindow*> g_window{nullptr};
// The entries the two extra ones call through (kept beyond the window's life: a hook of the
// mod may still hold an extra entry as its "previous" one).
std::atomic<void*> g_realPresent{nullptr};
std::atomic<void*> g_realGetBuffer{nullptr};
std::atomic<void*> g_realDrawIndexed{nullptr};
// Set while the host's own code asks for its back buffer (those requests never fault).
thread_local bool t_hostRequest = false;

using PresentFn = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain*, UINT, UINT);
using GetBufferFn = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain*, UINT, REFIID, void**);
using DrawIndexedFn = void(STDMETHODCALLTYPE*)(ID3D11DeviceContext*, UINT, UINT, INT);

// An access violation, as a broken driver or another overlay would give. The address is read
// from a volatile so the compiler neither proves the write out of bounds nor drops it.
void RaiseAccessViolation() {
  volatile uintptr_t address = 16;
  *reinterpret_cast<volatile int*>(address) = 0;
}

unsigned long References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

void* Patch(void** table, int slot, void* value) {
  DWORD protection = 0;
  VirtualProtect(&table[slot], sizeof(void*), PAGE_READWRITE, &protection);
  void* old = InterlockedExchangePointer(&table[slot], value);
  VirtualProtect(&table[slot], sizeof(void*), protection, &protection);
  return old;
}

}  // namespace

SwapChainWindow::~SwapChainWindow() {
  stop_ = true;
  if (render_.joinable()) render_.join();
  // Our entries go back only where they are still ours (the mod puts its own back itself).
  if (table_) {
    if (table_[kPresentSlot] == reinterpret_cast<void*>(&CapturePresent))
      Patch(table_, kPresentSlot, realPresent_);
    if (table_[kGetBufferSlot] == reinterpret_cast<void*>(&FaultyGetBuffer))
      Patch(table_, kGetBufferSlot, realGetBuffer_);
  }
  if (contextTable_ &&
      contextTable_[kDrawIndexedSlot] == reinterpret_cast<void*>(&FaultyDrawIndexed))
    Patch(contextTable_, kDrawIndexedSlot, realDrawIndexed_);
  g_window = nullptr;
  ReleaseTargets();
  if (floor_) floor_->Release();
  if (chain_) chain_->Release();
  if (context_) context_->Release();
  if (device_) device_->Release();
  if (window_) DestroyWindow(window_);
}

bool SwapChainWindow::Open(int width, int height, std::string& error) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &HostWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  RECT rect{0, 0, width, height};
  AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, 0);
  window_ = CreateWindowExW(0, kClassName, L"kvr-sim: simulated game", WS_OVERLAPPEDWINDOW, 0, 0,
                            rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                            wc.hInstance, nullptr);
  if (!window_) {
    error = "cannot create the game window";
    return false;
  }
  g_window = this;
  ShowWindow(window_, SW_SHOW);
  const HRESULT hr = CreateWindowedSwapChain(window_, width, height, &chain_, &device_, &context_);
  if (FAILED(hr)) {
    error = "cannot create a Direct3D 11 swap chain";
    return false;
  }
  width_ = width;
  height_ = height;
  table_ = *reinterpret_cast<void***>(chain_);
  realPresent_ = Patch(table_, kPresentSlot, reinterpret_cast<void*>(&CapturePresent));
  realGetBuffer_ = Patch(table_, kGetBufferSlot, reinterpret_cast<void*>(&FaultyGetBuffer));
  g_realPresent = realPresent_;
  g_realGetBuffer = realGetBuffer_;
  contextTable_ = *reinterpret_cast<void***>(context_);
  realDrawIndexed_ =
      Patch(contextTable_, kDrawIndexedSlot, reinterpret_cast<void*>(&FaultyDrawIndexed));
  g_realDrawIndexed = realDrawIndexed_;
  if (!MakeTargets()) {
    error = "cannot create the render target";
    return false;
  }
  render_ = std::thread([this] { RenderLoop(); });
  return true;
}

void SwapChainWindow::PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void SwapChainWindow::ResizeClient(int width, int height) {
  RECT rect{0, 0, width, height};
  AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, 0);
  SetWindowPos(window_, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOMOVE | SWP_NOZORDER);
}

void SwapChainWindow::ResizeSwapChainAgain() {
  pendingSize_ = static_cast<long>(width_) << 16 | height_;
}

void SwapChainWindow::HoldSize(bool hold) {
  holdSize_ = hold;
  if (!hold)
    if (const long held = heldSize_.exchange(0)) pendingSize_ = held;
}

void SwapChainWindow::RequestShot(const std::string& path) {
  std::lock_guard<std::mutex> lock(shotLock_);
  shotPath_ = path;
  shotWanted_ = true;
  shotDone_ = false;
}

bool SwapChainWindow::ShotDone(bool& ok) const {
  std::lock_guard<std::mutex> lock(shotLock_);
  ok = shotOk_;
  return shotDone_;
}

LRESULT CALLBACK SwapChainWindow::HostWndProc(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  SwapChainWindow* self = g_window.load();
  if (self && window == self->window_) {
    if (message == WM_KEYDOWN || message == WM_KEYUP) ++self->keyMessages;
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) ++self->clickMessages;
    if (message == WM_SIZE && LOWORD(lparam) > 0 && HIWORD(lparam) > 0) {
      const long size = static_cast<long>(LOWORD(lparam)) << 16 | HIWORD(lparam);
      (self->holdSize_ ? self->heldSize_ : self->pendingSize_) = size;
      ++self->sizeMessages_;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool SwapChainWindow::MakeTargets() {
  ID3D11Texture2D* back = nullptr;
  t_hostRequest = true;
  const HRESULT hr =
      chain_->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&back));
  t_hostRequest = false;
  if (FAILED(hr) || !back) return false;
  device_->CreateRenderTargetView(back, nullptr, &target_);
  back->Release();
  if (floor_) floor_->Release();
  D3D11_TEXTURE2D_DESC fd{};
  fd.Width = width_;
  fd.Height = height_ / 3;
  fd.MipLevels = fd.ArraySize = 1;
  fd.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  fd.SampleDesc.Count = 1;
  fd.Usage = D3D11_USAGE_IMMUTABLE;
  fd.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  std::vector<uint32_t> pixels(static_cast<size_t>(fd.Width) * fd.Height, kFloorRgba);
  D3D11_SUBRESOURCE_DATA data{pixels.data(), fd.Width * 4, 0};
  floor_ = nullptr;
  device_->CreateTexture2D(&fd, &data, &floor_);
  return target_ != nullptr;
}

void SwapChainWindow::ReleaseTargets() {
  if (target_) target_->Release();
  target_ = nullptr;
}

void SwapChainWindow::RenderLoop() {
  while (!stop_) {
    pauseSeen_ = paused_.load();
    if (pauseSeen_) {
      Sleep(2);
      continue;
    }
    if (const long size = pendingSize_.exchange(0)) {
      ReleaseTargets();
      width_ = static_cast<int>(size >> 16);
      height_ = static_cast<int>(size & 0xFFFF);
      lastResize_ = chain_->ResizeBuffers(0, width_, height_, DXGI_FORMAT_UNKNOWN, 0);
      ++resizes_;
    }
    if (!target_ && !MakeTargets()) {
      Sleep(5);
      continue;
    }
    context_->OMSetRenderTargets(1, &target_, nullptr);
    context_->ClearRenderTargetView(target_, kSky);
    if (floor_) {
      ID3D11Resource* back = nullptr;
      target_->GetResource(&back);
      context_->CopySubresourceRegion(back, 0, 0, height_ - height_ / 3, 0, floor_, 0, nullptr);
      back->Release();
    }
    targetRefs_ = References(target_);
    chain_->Present(0, 0);
    ++frames_;
    Sleep(8);
  }
}

// The finished picture, read back before it is shown.
void SwapChainWindow::Capture() {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(shotLock_);
    if (!shotWanted_) return;
    shotWanted_ = false;
    path = shotPath_;
  }
  bool ok = false;
  ID3D11Texture2D* back = nullptr;
  t_hostRequest = true;
  chain_->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&back));
  t_hostRequest = false;
  if (back) {
    D3D11_TEXTURE2D_DESC desc;
    back->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    ID3D11Texture2D* staging = nullptr;
    if (SUCCEEDED(device_->CreateTexture2D(&desc, nullptr, &staging))) {
      context_->CopyResource(staging, back);
      D3D11_MAPPED_SUBRESOURCE map;
      if (SUCCEEDED(context_->Map(staging, 0, D3D11_MAP_READ, 0, &map))) {
        Image image{static_cast<int>(desc.Width), static_cast<int>(desc.Height), {}};
        image.rgba.resize(static_cast<size_t>(desc.Width) * desc.Height * 4);
        for (UINT y = 0; y < desc.Height; ++y)
          memcpy(&image.rgba[y * desc.Width * 4],
                 static_cast<const uint8_t*>(map.pData) + y * map.RowPitch, desc.Width * 4);
        context_->Unmap(staging, 0);
        for (size_t i = 3; i < image.rgba.size(); i += 4) image.rgba[i] = 255;  // shown opaque
        ok = WritePng(path, image);
        shotWidth_ = image.width;
        shotHeight_ = image.height;
      }
      staging->Release();
    }
    back->Release();
  }
  std::lock_guard<std::mutex> lock(shotLock_);
  shotDone_ = true;
  shotOk_ = ok;
}

HRESULT STDMETHODCALLTYPE SwapChainWindow::CapturePresent(IDXGISwapChain* self, UINT sync,
                                                          UINT flags) {
  SwapChainWindow* w = g_window.load();
  if (w && self == w->chain_) {
    w->CheckTargets();
    w->Capture();
  }
  return reinterpret_cast<PresentFn>(g_realPresent.load())(self, sync, flags);
}

// What the host bound before presenting must still be bound, and held no more often.
void SwapChainWindow::CheckTargets() {
  ID3D11RenderTargetView* bound = nullptr;
  context_->OMGetRenderTargets(1, &bound, nullptr);
  const bool ours = bound == target_;
  if (bound) bound->Release();
  if (!target_ || !ours || References(target_) != targetRefs_) ++targetsDisturbed_;
}

void STDMETHODCALLTYPE SwapChainWindow::FaultyDrawIndexed(ID3D11DeviceContext* self, UINT count,
                                                          UINT start, INT base) {
  SwapChainWindow* w = g_window.load();
  if (w && w->drawFaultsArmed_.load() > 0) {
    --w->drawFaultsArmed_;
    ++w->faultsRaised_;
    RaiseAccessViolation();
  }
  reinterpret_cast<DrawIndexedFn>(g_realDrawIndexed.load())(self, count, start, base);
}

HRESULT STDMETHODCALLTYPE SwapChainWindow::FaultyGetBuffer(IDXGISwapChain* self, UINT buffer,
                                                           REFIID riid, void** surface) {
  SwapChainWindow* w = g_window.load();
  if (w && !t_hostRequest && w->faultsArmed_.load() > 0) {
    --w->faultsArmed_;
    ++w->faultsRaised_;
    RaiseAccessViolation();
  }
  return reinterpret_cast<GetBufferFn>(g_realGetBuffer.load())(self, buffer, riid, surface);
}

}  // namespace kvr::sim::win32
