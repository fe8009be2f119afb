// The overlay's hooks on the game's swap chain and window (Windows, DirectX 11). Elsewhere there
// is no swap chain to hook and both calls do nothing.
#pragma once

namespace kvr::overlay {

// Once per process, from the mod's start-up: patches the swap-chain Present and ResizeBuffers
// entries shared by every swap chain of the process and logs the outcome. True when both are
// patched (a second call only reports the first call's outcome).
bool InstallOverlayHooks();

// From the mod object's destructor, first: puts back whatever still holds the overlay's own
// entries (the two swap-chain entries, the game window's procedure).
void RemoveOverlayHooks();

}  // namespace kvr::overlay
