// The engine's name table: each distinct text gets one comparison index, and names compare by it.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kvr::sim {

class NameTable {
 public:
  NameTable();
  // The index of the text, adding it when new. Index 0 is "None" and is never handed out.
  uint32_t Add(std::wstring_view text);
  // Find-only: 0 when the text is not in the table (the table is left as it is).
  uint32_t Find(std::wstring_view text) const;
  // "" for an index that was never handed out.
  std::wstring Text(uint32_t index) const;
  // Distinct texts so far, "None" included (the table never shrinks, as the engine's does not).
  size_t Count() const;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::wstring_view s) const { return std::hash<std::wstring_view>{}(s); }
  };
  mutable std::mutex mutex_;
  std::unordered_map<std::wstring, uint32_t, Hash, std::equal_to<>> indices_;
  std::vector<std::wstring> texts_;
};

}  // namespace kvr::sim
