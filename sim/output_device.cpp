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

std::vector<std::wstring> CapturingOutputDevice::LinesFrom(size_t first) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (first >= lines_.size()) return {};
  return std::vector<std::wstring>(lines_.begin() + static_cast<std::ptrdiff_t>(first),
                                   lines_.end());
}

void CapturingOutputDevice::TakeLines(std::vector<std::wstring>& out) {
  out.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  out.swap(lines_);
}

void CapturingOutputDevice::SetEcho(bool echo) {
  std::lock_guard<std::mutex> lock(mutex_);
  echo_ = echo;
}

}  // namespace kvr::sim
