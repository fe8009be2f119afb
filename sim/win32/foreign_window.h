// A window of another program in the game's process that presents with Direct3D 11 too, as a
// mod host's own console does: made, pumped and presented on a thread of its own, so it belongs
// to that thread and not to the game's.
#pragma once
#include <atomic>
#include <string>
#include <thread>

namespace kvr::sim::win32 {

class ForeignWindow {
 public:
  ForeignWindow() = default;
  ~ForeignWindow();
  ForeignWindow(const ForeignWindow&) = delete;
  ForeignWindow& operator=(const ForeignWindow&) = delete;

  // Starts the thread; false (error set) when the window or its swap chain cannot be made.
  bool Open(int width, int height, std::string& error);
  uint64_t Frames() const { return frames_.load(); }

 private:
  void Run(int width, int height);

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> state_{0};  // 0 starting, 1 presenting, -1 failed
  std::atomic<uint64_t> frames_{0};
};

}  // namespace kvr::sim::win32
