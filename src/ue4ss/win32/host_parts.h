// The objects the mod hands to the host, each in the shape the host's MSVC-compiled code expects:
// the ProcessEvent callback as a std::function, output devices seen through the host's
// OutputDevice table, the delete listener as an engine FUObjectDeleteListener.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "host/api/host.h"
#include "host/log.h"
#include "host/msvc_std.h"

namespace kvr::ue4ss {

// --- the ProcessEvent pre-callback ------------------------------------------------------------

// Builds the std::function argument in `out`. The callable is stored in place and refers to a
// copy of `callback` that lives until the process ends (the host never lets go of it).
void MakePreCallbackArgument(msvc::Function& out, host::ProcessEventCallback callback);

// --- output devices -----------------------------------------------------------------------------

// One log device standing for all of the host's default devices.
class HostDevices {
 public:
  // `getDefaultDevices` is get_default_devices_ref (null when the export is missing: the mod then
  // writes to the debugger output instead).
  void Bind(const void* getDefaultDevices);
  const LogDeviceList* List() const { return &list_; }

 private:
  std::unique_ptr<ILogDevice> device_;
  LogDeviceList list_;
};

// --- the delete listener ------------------------------------------------------------------------

struct ListenerAdapter;

// One engine-side listener object per mod listener, made on first use and never freed: the
// engine may hold it until the process ends.
class ListenerAdapters {
 public:
  // Null when `create` is false and there is none, or when every place is taken.
  ListenerAdapter* For(host::IDeleteListener* listener, bool create);

 private:
  std::mutex lock_;
  std::array<ListenerAdapter*, 4> adapters_{};
};

}  // namespace kvr::ue4ss
