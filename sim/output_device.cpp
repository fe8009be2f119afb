#include "sim/output_device.h"

#include <cstdio>

namespace kvr::sim {

void CapturingOutputDevice::Receive(const std::wstring& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(line);
  if (echo_) std::fprintf(stderr, "%ls", line.c_str());
}

std::vector<std::wstring> CapturingOutputDevice::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

void CapturingOutputDevice::SetEcho(bool echo) {
  std::lock_guard<std::mutex> lock(mutex_);
  echo_ = echo;
}

}  // namespace kvr::sim
