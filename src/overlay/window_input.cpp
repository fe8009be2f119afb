#include "overlay/window_input.h"

#include <algorithm>

namespace kvr::overlay {

namespace {

bool IsMouseButtonMessage(uint32_t m) {
  switch (m) {
    case msg::kLButtonDown:
    case msg::kLButtonUp:
    case msg::kLButtonDblClk:
    case msg::kRButtonDown:
    case msg::kRButtonUp:
    case msg::kRButtonDblClk:
    case msg::kMButtonDown:
    case msg::kMButtonUp:
    case msg::kMouseWheel:
    case msg::kXButtonDown:
    case msg::kXButtonUp:
      return true;
    default:
      return false;
  }
}

// Bit 30 of a key message's lparam: the key was already down (auto-repeat).
bool IsRepeat(int64_t lparam) {
  return (lparam & (int64_t{1} << 30)) != 0;
}

void QueueMessage(InputQueue& queue, const WindowMessage& m, uint8_t modifiers) {
  InputEvent e;
  e.kind = InputEvent::Kind::kWindowMessage;
  e.modifiers = modifiers;
  e.message = m.message;
  e.wparam = m.wparam;
  e.lparam = m.lparam;
  queue.Push(e);
}

void QueueButton(InputQueue& queue, int button, bool down) {
  InputEvent e;
  e.kind = InputEvent::Kind::kMouseButton;
  e.button = button;
  e.down = down;
  queue.Push(e);
}

void TakeRawMouse(OverlayInput& input, InputQueue& queue, const RawMouse& raw, ClientSize client,
                  double now) {
  if (!(raw.flags & msg::kRawMoveAbsolute) && (raw.dx != 0 || raw.dy != 0)) {
    const float x = std::min(static_cast<float>(client.right - 1),
                             std::max(0.0f, input.cursorX.load() + static_cast<float>(raw.dx)));
    const float y = std::min(static_cast<float>(client.bottom - 1),
                             std::max(0.0f, input.cursorY.load() + static_cast<float>(raw.dy)));
    input.cursorX.store(x);
    input.cursorY.store(y);
    input.lastRawMouseTime.store(now);
  }
  if (raw.buttonFlags & msg::kRawLeftDown) QueueButton(queue, 0, true);
  if (raw.buttonFlags & msg::kRawLeftUp) QueueButton(queue, 0, false);
  if (raw.buttonFlags & msg::kRawRightDown) QueueButton(queue, 1, true);
  if (raw.buttonFlags & msg::kRawRightUp) QueueButton(queue, 1, false);
  if (raw.buttonFlags & msg::kRawWheel) {
    InputEvent e;
    e.kind = InputEvent::Kind::kMouseWheel;
    e.wheel = static_cast<float>(raw.buttonData) / 120.0f;
    queue.Push(e);
  }
}

}  // namespace

MessageVerdict HandleWindowMessage(OverlayInput& input, InputQueue& queue, const WindowMessage& m,
                                   const RawMouse& raw, ClientSize client, double now, bool ready,
                                   uint8_t modifiers) {
  // With no menu to show, the key would open one nobody sees and hold the game's input back.
  if (!ready) return MessageVerdict::kPassToGame;
  const bool isKey = static_cast<int64_t>(m.wparam) == input.menuKey.load();
  if ((m.message == msg::kKeyUp || m.message == msg::kSysKeyUp) && isKey)
    return MessageVerdict::kSwallow;
  if ((m.message == msg::kKeyDown || m.message == msg::kSysKeyDown) && isKey) {
    if (IsRepeat(m.lparam)) return MessageVerdict::kSwallow;  // a held key toggles once
    // A flip, not a store: the render thread may clear the flag at the same time (close button).
    bool wasOpen = input.menuOpen.load();
    while (!input.menuOpen.compare_exchange_weak(wasOpen, !wasOpen)) {
    }
    if (!wasOpen) {
      input.cursorX.store(static_cast<float>(client.right / 2));
      input.cursorY.store(static_cast<float>(client.bottom / 2));
    }
    return MessageVerdict::kSwallow;
  }
  if (!input.menuOpen.load()) return MessageVerdict::kPassToGame;

  const bool block = input.blockGameInput.load();
  const bool rawQuiet = now - input.lastRawMouseTime.load() > kRawMouseQuietSeconds;
  const MessageVerdict blocked = block ? MessageVerdict::kSwallow : MessageVerdict::kPassToGame;
  if (IsMouseButtonMessage(m.message)) {
    if (rawQuiet) QueueMessage(queue, m, modifiers);
    return blocked;
  }
  switch (m.message) {
    case msg::kMouseMove:
      if (rawQuiet) {
        input.cursorX.store(static_cast<float>(static_cast<int16_t>(m.lparam & 0xFFFF)));
        input.cursorY.store(static_cast<float>(static_cast<int16_t>((m.lparam >> 16) & 0xFFFF)));
      }
      return blocked;
    case msg::kKeyDown:
    case msg::kKeyUp:
    case msg::kChar:
      QueueMessage(queue, m, modifiers);
      return blocked;
    case msg::kInput:
      if (raw.valid) TakeRawMouse(input, queue, raw, client, now);
      return block ? MessageVerdict::kDefault : MessageVerdict::kPassToGame;
    default:
      return MessageVerdict::kPassToGame;
  }
}

}  // namespace kvr::overlay
