// The mod's one logging operation.
//
// Each message becomes the line "[KorvathNeuralNav] " + message + "\n" on every output device
// the host offers, and the last 250 messages are kept for the menu's recent-log view.
#pragma once
#include <string>
#include <vector>

namespace kvr {

// One of the host's output devices. Some take an extra argument with each line (the host's
// convention); they get 0.
class ILogDevice {
 public:
  virtual ~ILogDevice() = default;
  virtual bool TakesExtraArgument() const { return false; }
  virtual void Receive(const std::wstring& line) = 0;
  virtual void Receive(const std::wstring& line, int extra) { Receive(line); }
};

using LogDeviceList = std::vector<ILogDevice*>;

inline constexpr size_t kRecentLogCapacity = 250;

// Any thread; never fails visibly. Must not be called with the settings lock held.
void Log(const std::string& message);

// The device list Log writes to. Until a host provides its own list, a platform sink on
// standard error is used. The list must outlive every Log call; pass nullptr for the sink.
void SetLogDevices(const LogDeviceList* devices);

// Sends the platform sink to a file (appending) instead of standard error; "" goes back.
bool SetLogFile(const std::string& path);

// A copy of the recent log, oldest first (takes the settings lock).
std::vector<std::string> RecentLog();

}  // namespace kvr
