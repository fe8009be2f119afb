#include "overlay/overlay_input.h"

#include "imgui.h"

namespace kvr::overlay {

bool InputQueue::Push(const InputEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pending_.size() >= kCapacity) return false;
  pending_.push_back(event);
  return true;
}

void InputQueue::TakeAll(std::vector<InputEvent>& out) {
  out.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  out.swap(pending_);
}

size_t InputQueue::Size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_.size();
}

void FeedMouseEvent(const InputEvent& event) {
  ImGuiIO& io = ImGui::GetIO();
  if (event.kind == InputEvent::Kind::kMouseButton)
    io.AddMouseButtonEvent(event.button, event.down);
  if (event.kind == InputEvent::Kind::kMouseWheel) io.AddMouseWheelEvent(0.0f, event.wheel);
}

}  // namespace kvr::overlay
