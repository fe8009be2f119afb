#include "sim/name_table.h"

namespace kvr::sim {

NameTable::NameTable() {
  texts_.emplace_back(L"None");
}

uint32_t NameTable::Add(std::wstring_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = indices_.find(text);
  if (it != indices_.end()) return it->second;
  const auto index = static_cast<uint32_t>(texts_.size());
  texts_.emplace_back(text);
  indices_.emplace(std::wstring(text), index);
  return index;
}

uint32_t NameTable::Find(std::wstring_view text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = indices_.find(text);
  return it == indices_.end() ? 0 : it->second;
}

std::wstring NameTable::Text(uint32_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < texts_.size() ? texts_[index] : std::wstring();
}

size_t NameTable::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_.size();
}

}  // namespace kvr::sim
