// The simulated host's output device: keeps every line (for tests and the tools) and can echo
// them to standard error.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "host/log.h"

namespace kvr::sim {

class CapturingOutputDevice final : public ILogDevice {
 public:
  void Receive(const std::wstring& line) override;
  std::vector<std::wstring> Lines() const;
  // The lines from index `first` on (none when there are not that many yet), so a caller that
  // follows the log while it grows copies each line once.
  std::vector<std::wstring> LinesFrom(size_t first) const;
  // Moves the lines kept so far into `out` (replacing its contents) and keeps no copy, so a run
  // of many hours can follow the log without holding all of it.
  void TakeLines(std::vector<std::wstring>& out);
  void SetEcho(bool echo);

 private:
  mutable std::mutex mutex_;
  std::vector<std::wstring> lines_;
  bool echo_ = false;
};

}  // namespace kvr::sim
