// Off Windows the game's picture is not drawn through a DirectX swap chain; the menu and the
// route overlay are reached through the desktop viewer instead.
#include "overlay/overlay_hooks.h"

namespace kvr::overlay {

bool InstallOverlayHooks(const std::atomic<uint32_t>*) {
  return false;
}

void RemoveOverlayHooks() {}

}  // namespace kvr::overlay
