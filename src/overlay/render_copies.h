// The render thread's own copies of what the menu and the route overlay draw: the settings
// record (with the settings version it was copied at), the menu snapshot and the recent log.
// Only the render thread touches them; they are refreshed from ModState once per frame.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/frame_cost.h"
#include "game/menu_snapshot.h"
#include "host/mod_state.h"
#include "settings/settings.h"

namespace kvr::overlay {

struct OverlayInput;

struct RenderCopies {
  Settings settings;             // written by the frame copy and by the menu's widgets
  uint64_t settingsVersion = 0;  // the shared version starts at 1, so the first frame copies
  std::shared_ptr<const game::MenuSnapshot> snapshot;  // immutable once published
  std::vector<std::string> log;
  // The menu changed `settings`; published under the settings lock by the next copy (or by
  // FinishOverlayFrame), never from inside the ImGui frame, which may run where faults are
  // trapped and a lock taken there could be left held.
  bool settingsChanged = false;
  // What the overlay's own frames cost the render thread (OverlayFrameTimer fills it).
  game::FrameCostMeter overlayCost;
  game::TickScale overlayTicks;

  // The snapshot, or an empty one before the game thread published any.
  const game::MenuSnapshot& Snapshot() const;
};

// One short stay under the settings lock: the settings when their version moved on, the
// snapshot, and the recent log when `withLog` (only the open menu shows it, and copying 250
// lines every frame is the one cost a closed menu can skip). Then hands the menu key and the
// input-blocking setting to the window procedure.
void CopySharedState(ModState& shared, RenderCopies& copies, OverlayInput& input, bool withLog);

// The same in parts, for a caller that takes the lock itself: the copy (publishing a pending
// menu change first), which expects `shared.settingsLock` held ...
void CopySharedStateLocked(ModState& shared, RenderCopies& copies, bool withLog);
// ... and, after the lock is released, the hand-over to the window procedure.
void HandInputSettings(const RenderCopies& copies, OverlayInput& input);

// Publishes a pending menu change of the settings with a new version, and records that version
// as the copy's own so the next frame does not copy the record back. Expects the settings lock.
void PublishSettingsLocked(RenderCopies& copies, ModState& shared);

}  // namespace kvr::overlay
