// What the window procedure (on the window's thread) and the overlay frame (on the render
// thread) share: a few atomics, and a small locked queue that carries input events from the
// window thread to the render thread, where they are fed to ImGui just before its new frame.
// ImGui's own input queue has no lock, so the window thread never touches it.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kvr::overlay {

struct OverlayInput {
  std::atomic<bool> menuOpen{false};
  std::atomic<float> cursorX{200.0f};  // the virtual cursor, client pixels
  std::atomic<float> cursorY{200.0f};
  std::atomic<int32_t> menuKey{120};  // virtual-key code (F9)
  std::atomic<bool> blockGameInput{true};
  // SteadySeconds of the last relative raw mouse motion; ordinary mouse messages drive the
  // cursor only while raw input has been quiet for a while.
  std::atomic<double> lastRawMouseTime{-10.0};
};

// Modifier keys held when an event was queued (the render thread cannot ask the keyboard state
// of the window's thread).
enum InputModifier : uint8_t {
  kModCtrl = 1,
  kModShift = 2,
  kModAlt = 4,
  kModSuper = 8,
};

struct InputEvent {
  enum class Kind : uint8_t {
    kWindowMessage,  // replayed through the platform backend's message handler
    kMouseButton,
    kMouseWheel,
  };
  Kind kind = Kind::kWindowMessage;
  uint8_t modifiers = 0;  // InputModifier bits, for window messages
  bool down = false;      // mouse button
  int32_t button = 0;     // 0 left, 1 right, 2 middle
  float wheel = 0.0f;     // vertical wheel steps
  uint32_t message = 0;   // window message and its two parameters
  uint64_t wparam = 0;
  int64_t lparam = 0;
};

class InputQueue {
 public:
  // Events beyond this many wait for no render frame (the overlay may have stopped); the
  // newest are dropped rather than letting the queue grow without bound.
  static constexpr size_t kCapacity = 512;

  // Any thread. False when the queue was full.
  bool Push(const InputEvent& event);

  // Render thread: hands every queued event, oldest first, to `feed` and empties the queue.
  // The lock is held only to swap the buffers, never while feeding.
  template <typename F>
  void Drain(F&& feed) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      drained_.swap(pending_);
    }
    for (const InputEvent& event : drained_) feed(event);
    drained_.clear();
  }

  // Render thread: moves every queued event, oldest first, into `out` (emptied first). For a
  // caller that feeds them where a fault may be trapped: the lock is never held there.
  void TakeAll(std::vector<InputEvent>& out);

  size_t Size();

 private:
  std::mutex mutex_;
  std::vector<InputEvent> pending_;
  std::vector<InputEvent> drained_;  // render thread only
};

// Feeds a mouse button or wheel event into the current ImGui context's input queue; window
// messages are left to the caller (they need the platform backend).
void FeedMouseEvent(const InputEvent& event);

}  // namespace kvr::overlay
