#include "host/log.h"

#include <cstdio>

#include "host/mod_state.h"
#include "platform/text.h"

namespace kvr {

namespace {

// The sink used while no host provides output devices: standard error, or a file on request.
class PlatformSink final : public ILogDevice {
 public:
  void Receive(const std::wstring& line) override {
    const std::string text = platform::WideToUtf8(line);
    std::lock_guard<std::mutex> lock(mutex_);
    FILE* out = file_ ? file_ : stderr;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
  }
  bool UseFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) std::fclose(file_);
    file_ = path.empty() ? nullptr : std::fopen(path.c_str(), "ab");
    return path.empty() || file_ != nullptr;
  }
  ~PlatformSink() override {
    if (file_) std::fclose(file_);
  }

 private:
  std::mutex mutex_;
  FILE* file_ = nullptr;
};

struct Sink {
  PlatformSink device;
  LogDeviceList list{&device};
};

Sink& PlatformSinkList() {
  static Sink sink;
  return sink;
}

}  // namespace

void Log(const std::string& message) {
  const std::wstring line = L"[KorvathNeuralNav] " + platform::Utf8ToWide(message) + L"\n";
  ModState& state = ModState::Get();
  const LogDeviceList* devices = state.logDevices.load();
  if (!devices) devices = &PlatformSinkList().list;
  for (ILogDevice* device : *devices) {
    if (!device) break;
    if (device->TakesExtraArgument()) {
      device->Receive(line, 0);
    } else {
      device->Receive(line);
    }
  }
  std::lock_guard<std::mutex> lock(state.settingsLock);
  state.recentLog.push_back(message);
  while (state.recentLog.size() > kRecentLogCapacity) state.recentLog.pop_front();
}

void SetLogDevices(const LogDeviceList* devices) {
  ModState::Get().logDevices.store(devices);
}

bool SetLogFile(const std::string& path) {
  return PlatformSinkList().device.UseFile(path);
}

std::vector<std::string> RecentLog() {
  ModState& state = ModState::Get();
  std::lock_guard<std::mutex> lock(state.settingsLock);
  return {state.recentLog.begin(), state.recentLog.end()};
}

}  // namespace kvr
