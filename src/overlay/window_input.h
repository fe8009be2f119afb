// The menu's side of the game window's message stream, without Windows types: the menu key
// toggles the menu, the virtual cursor follows ordinary or raw mouse input, and while the menu
// is open its input is queued for ImGui and, on request, kept from the game. The Windows window
// procedure reads the message (and raw input) and carries out the verdict.
#pragma once
#include <cstdint>

#include "overlay/overlay_input.h"

namespace kvr::overlay {

// Window message numbers and raw-input bits, as the Windows SDK defines them.
namespace msg {
inline constexpr uint32_t kInput = 0x00FF;
inline constexpr uint32_t kKeyDown = 0x0100;
inline constexpr uint32_t kKeyUp = 0x0101;
inline constexpr uint32_t kChar = 0x0102;
inline constexpr uint32_t kSysKeyDown = 0x0104;
inline constexpr uint32_t kSysKeyUp = 0x0105;
inline constexpr uint32_t kMouseMove = 0x0200;
inline constexpr uint32_t kLButtonDown = 0x0201;
inline constexpr uint32_t kLButtonUp = 0x0202;
inline constexpr uint32_t kLButtonDblClk = 0x0203;
inline constexpr uint32_t kRButtonDown = 0x0204;
inline constexpr uint32_t kRButtonUp = 0x0205;
inline constexpr uint32_t kRButtonDblClk = 0x0206;
inline constexpr uint32_t kMButtonDown = 0x0207;
inline constexpr uint32_t kMButtonUp = 0x0208;
inline constexpr uint32_t kMouseWheel = 0x020A;
inline constexpr uint32_t kXButtonDown = 0x020B;
inline constexpr uint32_t kXButtonUp = 0x020C;

inline constexpr uint16_t kRawMoveAbsolute = 0x0001;
inline constexpr uint16_t kRawLeftDown = 0x0001;
inline constexpr uint16_t kRawLeftUp = 0x0002;
inline constexpr uint16_t kRawRightDown = 0x0004;
inline constexpr uint16_t kRawRightUp = 0x0008;
inline constexpr uint16_t kRawWheel = 0x0400;
}  // namespace msg

struct WindowMessage {
  uint32_t message = 0;
  uint64_t wparam = 0;
  int64_t lparam = 0;
};

// One raw mouse report (only read for WM_INPUT while the menu is open).
struct RawMouse {
  bool valid = false;  // the read succeeded and the device is a mouse
  uint16_t flags = 0;  // msg::kRawMoveAbsolute
  int32_t dx = 0;
  int32_t dy = 0;
  uint16_t buttonFlags = 0;
  int16_t buttonData = 0;  // wheel delta, multiples of 120
};

struct ClientSize {
  int32_t right = 0;
  int32_t bottom = 0;
};

enum class MessageVerdict : uint8_t {
  kPassToGame,  // the game's own window procedure handles it
  kSwallow,     // answered 0; the game never sees it
  kDefault,     // the system's default handling only (raw input must still be cleaned up)
};

// Ordinary mouse messages drive the cursor and buttons only after raw input was quiet this long.
inline constexpr double kRawMouseQuietSeconds = 0.5;

// Decides one message. `ready`: a menu can be drawn now (the overlay is set up on the game's
// swap chain and still drawing); while it cannot, every message, the menu key too, is the
// game's. `now`:
// SteadySeconds. `modifiers`: InputModifier bits held now. Queues ImGui input into `queue`.
MessageVerdict HandleWindowMessage(OverlayInput& input, InputQueue& queue, const WindowMessage& m,
                                   const RawMouse& raw, ClientSize client, double now, bool ready,
                                   uint8_t modifiers);

}  // namespace kvr::overlay
