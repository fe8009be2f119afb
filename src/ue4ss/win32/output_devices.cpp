// The host's output devices seen as the mod's log device.
//
// A host device is an MSVC object whose table has, by slot: 0 destructor, 1 has_optional_arg,
// 2 receive(wstring_view), 3 receive_with_optional_arg(wstring_view, int32), 4 lock, 5 unlock.
// A string view is a 16-byte aggregate, passed as the address of a copy.
#include <windows.h>

#include "platform/notice.h"
#include "platform/text.h"
#include "ue4ss/win32/host_parts.h"
#include "ue4ss/win32/msvc_call.h"

namespace kvr::ue4ss {

namespace {

enum DeviceSlot : size_t { kHasOptionalArg = 1, kReceive = 2, kReceiveWithOptionalArg = 3 };

// Calls a slot of one host device; false when it threw.
template <typename... Args>
bool CallDevice(void* device, size_t slot, uint64_t& result, Args... args) {
  const void* fn = (*static_cast<void* const* const*>(device))[slot];
  return CallHost(fn, result, device, args...);
}

// Every one of the host's default devices, as the host's own send reaches them: the list is read
// afresh for each line (the host may add devices after the mod started), in list order up to the
// first null entry; a device that takes the optional argument gets the line with 0. A device
// that throws loses the line; reporting that would go through the same devices.
class HostDefaultDevices final : public ILogDevice {
 public:
  explicit HostDefaultDevices(const void* getDefaultDevices) : get_(getDefaultDevices) {}
  void Receive(const std::wstring& line) override {
    uint64_t address = 0;
    if (!CallHost(get_, address) || address == 0) return;
    const auto& devices = *reinterpret_cast<const msvc::Vector<void*>*>(address);
    const msvc::WStringView view{reinterpret_cast<const char16_t*>(line.data()), line.size()};
    for (void* const* it = devices.first; it != devices.last && *it; ++it) {
      uint64_t answer = 0;
      if (!CallDevice(*it, kHasOptionalArg, answer)) continue;
      if (answer & 0xFF) {
        CallDevice(*it, kReceiveWithOptionalArg, answer, &view, 0);
      } else {
        CallDevice(*it, kReceive, answer, &view);
      }
    }
  }

 private:
  const void* get_;
};

// Where lines go when the host offers no devices: the debugger output.
class DebugOutputDevice final : public ILogDevice {
 public:
  void Receive(const std::wstring& line) override {
    std::string text = platform::WideToUtf8(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    platform::DebugNotice(text);
  }
};

}  // namespace

void HostDevices::Bind(const void* getDefaultDevices) {
  if (getDefaultDevices) {
    device_ = std::make_unique<HostDefaultDevices>(getDefaultDevices);
  } else {
    device_ = std::make_unique<DebugOutputDevice>();
  }
  list_ = {device_.get()};
}

}  // namespace kvr::ue4ss
