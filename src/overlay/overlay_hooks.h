// The overlay's hooks on the game's swap chain and window (Windows, DirectX 11). Elsewhere there
// is no swap chain to hook and both calls do nothing.
#pragma once
#include <atomic>
#include <cstdint>

namespace kvr::overlay {

// From the mod's start-up: patches the swap-chain Present and ResizeBuffers entries shared by
// every swap chain of the process and logs the outcome. True when both are patched (a second
// call before a removal only reports the first call's outcome; after a removal it installs
// again). `gameThreadId` (0 until known; it must outlive the process's frames) names the game
// thread: the overlay binds to the swap chain of a window of that thread, not to another
// program's that presents too.
bool InstallOverlayHooks(const std::atomic<uint32_t>* gameThreadId);

// From the mod object's destructor, first: the menu closes, and whatever still holds the
// overlay's own entries (the two swap-chain entries, the game window's procedure) is put back;
// entries another program chained itself onto pass everything through until installed again.
void RemoveOverlayHooks();

}  // namespace kvr::overlay
