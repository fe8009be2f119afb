// The host's output devices seen as the mod's log devices.
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

class HostOutputDevice final : public ILogDevice {
 public:
  explicit HostOutputDevice(void* device) : device_(device) {
    uint64_t answer = 0;
    extra_ = CallHost(Slot(kHasOptionalArg), answer, device_) && (answer & 0xFF) != 0;
  }
  bool TakesExtraArgument() const override { return extra_; }
  // A device that throws loses the line; reporting it would go through the same devices.
  void Receive(const std::wstring& line) override {
    const msvc::WStringView view = ViewOf(line);
    uint64_t ignored = 0;
    CallHost(Slot(kReceive), ignored, device_, &view);
  }
  void Receive(const std::wstring& line, int extra) override {
    const msvc::WStringView view = ViewOf(line);
    uint64_t ignored = 0;
    CallHost(Slot(kReceiveWithOptionalArg), ignored, device_, &view, extra);
  }

 private:
  static msvc::WStringView ViewOf(const std::wstring& line) {
    return {reinterpret_cast<const char16_t*>(line.data()), line.size()};
  }
  const void* Slot(size_t slot) const { return (*static_cast<void* const* const*>(device_))[slot]; }

  void* device_;
  bool extra_ = false;
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
  owned_.clear();
  list_.clear();
  uint64_t answer = 0;
  if (!getDefaultDevices || !CallHost(getDefaultDevices, answer) || answer == 0) {
    owned_.push_back(std::make_unique<DebugOutputDevice>());
    list_.push_back(owned_.back().get());
    return;
  }
  // A vector of unique_ptr<OutputDevice>: each element is the device's address. As for the
  // host's own send, a null entry ends the list.
  const auto& devices = *reinterpret_cast<const msvc::Vector<void*>*>(answer);
  for (void* const* it = devices.first; it != devices.last && *it; ++it) {
    owned_.push_back(std::make_unique<HostOutputDevice>(*it));
    list_.push_back(owned_.back().get());
  }
}

}  // namespace kvr::ue4ss
