// Reflection access: properties found by name on an object's class chain and read at their byte
// offsets, engine functions laid out from their own parameter chains and called through
// ProcessEvent.
//
// Everything goes through the process-wide host (host::Host()); without a host every look-up
// misses. Game thread only: neither the property cache nor the layouts are locked.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "aps/aps.h"
#include "host/api/host.h"

namespace kvr::host {

// (class, property name) -> property, misses cached as null, so a name a class lacks costs one
// engine look-up per class. Never flushed while one host lives: class objects and their
// properties live as long as the process. A change of host (tests, stand-in hosts) empties it,
// since another engine may reuse the same class addresses.
class PropertyCache {
 public:
  FProperty* Find(const UObject* object, std::wstring_view name);
  size_t Size() const { return entries_.size(); }
  // Engine look-ups made so far (misses of the cache).
  uint64_t EngineLookups() const { return engineLookups_; }
  void Clear();

 private:
  using Key = std::pair<const UClass*, std::wstring>;
  struct KeyLess {
    using is_transparent = void;
    bool operator()(const Key& a, const Key& b) const { return a < b; }
    bool operator()(const Key& a, const std::pair<const UClass*, std::wstring_view>& b) const {
      return a.first != b.first ? a.first < b.first : std::wstring_view(a.second) < b.second;
    }
    bool operator()(const std::pair<const UClass*, std::wstring_view>& a, const Key& b) const {
      return a.first != b.first ? a.first < b.first : a.second < std::wstring_view(b.second);
    }
  };
  std::map<Key, FProperty*, KeyLess> entries_;
  uint64_t generation_ = 0;
  uint64_t engineLookups_ = 0;
};

// The one process-wide cache.
PropertyCache& GlobalPropertyCache();

// Null for a null object or a property the object's class chain lacks.
FProperty* FindPropertyCached(const UObject* object, std::wstring_view name);

// Object-reference properties (`Pawn`, `Player`, ...): false when the property is missing;
// otherwise `out` = the pointer stored at object + offset (possibly null).
bool ReadPointerProperty(const UObject* object, std::wstring_view name, UObject*& out);

// Typed reads at object + offset; false (out untouched) when the object or property is missing.
bool ReadFloatProperty(const UObject* object, std::wstring_view name, float& out);
bool ReadInt32Property(const UObject* object, std::wstring_view name, int32_t& out);
bool ReadByteProperty(const UObject* object, std::wstring_view name, uint8_t& out);
bool ReadVec3Property(const UObject* object, std::wstring_view name, aps::Vec3& out);
// (byte at offset + byte offset) & field mask, non-zero meaning true; false for a property that
// is not a bool.
bool ReadBoolProperty(const UObject* object, std::wstring_view name, bool& out);

// Typed writes; false when the object or property is missing.
bool WriteFloatProperty(UObject* object, std::wstring_view name, float value);
// Sets or clears only the property's bit(s).
bool WriteBoolProperty(UObject* object, std::wstring_view name, bool value);

// Parameter blocks are at most this large, so callers can keep them on the stack.
inline constexpr uint16_t kMaxParamBlock = 512;

// Lets the offsets map be searched with a string view, without building a string per look-up.
struct WideNameHash {
  using is_transparent = void;
  size_t operator()(std::wstring_view s) const { return std::hash<std::wstring_view>{}(s); }
};

// The parameter block of one engine function.
struct ParamLayout {
  UFunction* function = nullptr;
  uint16_t size = 0;
  std::unordered_map<std::wstring, int32_t, WideNameHash, std::equal_to<>> offsets;
  bool valid = false;
};

// Valid when the function exists on the object's class chain, every required name is one of its
// parameters, and the block is 1..512 bytes.
bool BuildParamLayout(ParamLayout& layout, const UObject* object, std::wstring_view function,
                      std::initializer_list<std::wstring_view> required);

// The parameter's offset in the block, -1 when unknown.
int32_t ParamOffset(const ParamLayout& layout, std::wstring_view name);

// The calling pattern: a zeroed block on the stack, inputs written at their offsets, ProcessEvent,
// outputs read back. Parameters nobody writes stay zero.
class ParamBlock {
 public:
  // Zeroes the layout's block (the whole buffer when the layout is not valid).
  explicit ParamBlock(const ParamLayout& layout);
  ParamBlock(const ParamBlock&) = delete;
  ParamBlock& operator=(const ParamBlock&) = delete;

  // Writes fail (false) for an unknown name or a value that would not fit in the block.
  bool SetObject(std::wstring_view name, const void* object) { return Put(name, &object, 8); }
  bool SetVec3(std::wstring_view name, const aps::Vec3& v) { return Put(name, &v, 12); }
  bool SetFloat(std::wstring_view name, float v) { return Put(name, &v, 4); }
  bool SetByte(std::wstring_view name, uint8_t v) { return Put(name, &v, 1); }

  bool GetVec3(std::wstring_view name, aps::Vec3& v) const { return Take(name, &v, 12); }
  bool GetFloat(std::wstring_view name, float& v) const { return Take(name, &v, 4); }
  bool GetByte(std::wstring_view name, uint8_t& v) const { return Take(name, &v, 1); }

  // ProcessEvent on the target; false (nothing called) when the layout is not valid, the target
  // is null or there is no host.
  bool Call(UObject* target);

  void* Data() { return buffer_; }

 private:
  bool Put(std::wstring_view name, const void* value, int32_t bytes);
  bool Take(std::wstring_view name, void* value, int32_t bytes) const;

  const ParamLayout& layout_;
  alignas(16) unsigned char buffer_[kMaxParamBlock];
};

}  // namespace kvr::host
