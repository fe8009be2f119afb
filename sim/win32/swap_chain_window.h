// The stand-in host's window and Direct3D 11 swap chain, and the render thread that presents a
// two-tone picture (sky over floor) into it. Two extra method-table entries of the swap chain
// stand in for what other programs in a game process do: a capture tool's Present (screenshots
// of the finished picture, overlay included, and a check that whoever drew before it left the
// host's render target bound and held no more of it) and a faulty GetBuffer (injected faults).
// Both are put in before the mod installs its own entries, so the mod's hooks call through
// them. The device context's DrawIndexed can fault on request too (the host never draws
// indexed; an overlay does).
#pragma once
#include <d3d11.h>
#include <dxgi.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace kvr::sim::win32 {

class SwapChainWindow {
 public:
  SwapChainWindow() = default;
  ~SwapChainWindow();
  SwapChainWindow(const SwapChainWindow&) = delete;
  SwapChainWindow& operator=(const SwapChainWindow&) = delete;

  // Window, device and swap chain, the two extra entries, and the render thread.
  bool Open(int width, int height, std::string& error);

  HWND Window() const { return window_; }
  uint64_t Frames() const { return frames_.load(); }
  // Processes the window's pending messages (the game thread does this between ticks).
  static void PumpMessages();

  // Resizes the client area; the swap chain follows on WM_SIZE. The HRESULT of the last
  // ResizeBuffers, and how many were made.
  void ResizeClient(int width, int height);
  void ResizeSwapChainAgain();
  // While held, the window's client area changes but the swap chain keeps its size (the picture
  // is stretched onto the window), as between a resize and a game's late ResizeBuffers. The
  // release resizes the swap chain to the client area.
  void HoldSize(bool hold);
  int SizeMessages() const { return sizeMessages_.load(); }
  // Stops presenting (true once the render thread stopped), and goes on.
  void PausePresents(bool pause) { paused_.store(pause); }
  bool PresentsPaused() const { return pauseSeen_.load(); }
  long LastResizeResult() const { return lastResize_.load(); }
  int Resizes() const { return resizes_.load(); }

  // Asks for the next presented picture; true once it was written.
  void RequestShot(const std::string& path);
  bool ShotDone(bool& ok) const;
  int ShotWidth() const { return shotWidth_.load(); }
  int ShotHeight() const { return shotHeight_.load(); }

  void ArmFaults(int count) { faultsArmed_.store(count); }
  void ArmDrawFaults(int count) { drawFaultsArmed_.store(count); }
  int FaultsRaised() const { return faultsRaised_.load(); }
  // Presented frames that found the host's render target unbound, or held more often than the
  // host holds it, by the time the picture reached the capture tool.
  int TargetsDisturbed() const { return targetsDisturbed_.load(); }

  int keyMessages = 0;    // window thread only
  int clickMessages = 0;  // window thread only

 private:
  static LRESULT CALLBACK HostWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static HRESULT STDMETHODCALLTYPE CapturePresent(IDXGISwapChain* self, UINT sync, UINT flags);
  static HRESULT STDMETHODCALLTYPE FaultyGetBuffer(IDXGISwapChain* self, UINT buffer, REFIID riid,
                                                   void** surface);
  static void STDMETHODCALLTYPE FaultyDrawIndexed(ID3D11DeviceContext* self, UINT count, UINT start,
                                                  INT base);
  void CheckTargets();
  void RenderLoop();
  bool MakeTargets();
  void ReleaseTargets();
  void Capture();

  HWND window_ = nullptr;
  IDXGISwapChain* chain_ = nullptr;
  ID3D11Device* device_ = nullptr;
  ID3D11DeviceContext* context_ = nullptr;
  ID3D11RenderTargetView* target_ = nullptr;
  ID3D11Texture2D* floor_ = nullptr;
  int width_ = 0;
  int height_ = 0;

  void** table_ = nullptr;
  void* realPresent_ = nullptr;
  void* realGetBuffer_ = nullptr;
  void** contextTable_ = nullptr;
  void* realDrawIndexed_ = nullptr;
  unsigned long targetRefs_ = 0;  // render thread: the target's references while drawing

  std::thread render_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> frames_{0};
  std::atomic<long> pendingSize_{0};  // width << 16 | height, 0 = none
  std::atomic<long> lastResize_{0};
  std::atomic<int> resizes_{0};
  std::atomic<int> faultsArmed_{0};
  std::atomic<int> faultsRaised_{0};
  std::atomic<int> drawFaultsArmed_{0};
  std::atomic<int> targetsDisturbed_{0};
  std::atomic<bool> holdSize_{false};
  std::atomic<long> heldSize_{0};
  std::atomic<int> sizeMessages_{0};
  std::atomic<bool> paused_{false};
  std::atomic<bool> pauseSeen_{false};

  mutable std::mutex shotLock_;
  std::string shotPath_;
  bool shotWanted_ = false;
  bool shotDone_ = false;
  bool shotOk_ = false;
  std::atomic<int> shotWidth_{0};
  std::atomic<int> shotHeight_{0};
};

}  // namespace kvr::sim::win32
