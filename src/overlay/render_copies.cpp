#include "overlay/render_copies.h"

#include <mutex>

#include "overlay/overlay_input.h"

namespace kvr::overlay {

const game::MenuSnapshot& RenderCopies::Snapshot() const {
  static const game::MenuSnapshot kEmpty;
  return snapshot ? *snapshot : kEmpty;
}

void PublishSettingsLocked(RenderCopies& copies, ModState& shared) {
  if (!copies.settingsChanged) return;
  shared.sharedSettings = copies.settings;
  copies.settingsVersion = ++shared.settingsVersion;
  copies.settingsChanged = false;
}

void CopySharedStateLocked(ModState& shared, RenderCopies& copies, bool withLog) {
  PublishSettingsLocked(copies, shared);
  if (shared.settingsVersion != copies.settingsVersion) {
    copies.settings = shared.sharedSettings;
    copies.settingsVersion = shared.settingsVersion;
  }
  copies.snapshot = shared.snapshot;
  if (withLog) copies.log.assign(shared.recentLog.begin(), shared.recentLog.end());
}

void HandInputSettings(const RenderCopies& copies, OverlayInput& input) {
  input.menuKey.store(copies.settings.MenuKey);
  input.blockGameInput.store(copies.settings.BlockGameInputWhileMenuOpen);
}

void CopySharedState(ModState& shared, RenderCopies& copies, OverlayInput& input, bool withLog) {
  {
    std::lock_guard<std::mutex> lock(shared.settingsLock);
    CopySharedStateLocked(shared, copies, withLog);
  }
  HandInputSettings(copies, input);
}

}  // namespace kvr::overlay
