// ModState: the one process-wide block the mod's threads share.
//
// Everything here is either guarded by the settings lock (short copies only) or atomic.
// Lock order: the state lock may be held while taking the settings lock, never the reverse.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace kvr {

class ILogDevice;

namespace game {
struct MenuSnapshot;  // what the menu and the route overlay draw, built by the game thread
}

struct ModState {
  std::mutex settingsLock;
  Settings sharedSettings;       // guarded by settingsLock
  uint64_t settingsVersion = 1;  // guarded by settingsLock; +1 per stored record
  // Swapped in whole by the per-frame update, copied by the menu; guarded by settingsLock.
  std::shared_ptr<const game::MenuSnapshot> snapshot;
  std::wstring modDirectory;

  // Menu requests: set to 1 by the menu, taken (exchanged to 0) by the per-frame update.
  std::atomic<uint32_t> requestSaveSettings{0};
  std::atomic<uint32_t> requestReloadSettings{0};
  std::atomic<uint32_t> requestSaveBrain{0};
  std::atomic<uint32_t> requestResetBrain{0};
  std::atomic<uint32_t> requestEvolveNow{0};

  std::deque<std::string> recentLog;  // guarded by settingsLock, at most 250 messages

  // Where Log writes; null means the platform sink.
  std::atomic<const std::vector<ILogDevice*>*> logDevices{nullptr};

  // Created on first use, destroyed at process exit.
  static ModState& Get();
};

}  // namespace kvr
