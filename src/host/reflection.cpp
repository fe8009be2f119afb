#include "host/reflection.h"

namespace kvr::host {

namespace {

// The address of a found property's value in an object; null when anything is missing.
unsigned char* ValueAddress(const UObject* object, std::wstring_view name, FProperty** found) {
  FProperty* property = FindPropertyCached(object, name);
  IHost* host = Host();
  if (!property || !host) return nullptr;
  if (found) *found = property;
  const int32_t offset = host->GetOffset(property);
  if (offset < 0) return nullptr;
  return const_cast<unsigned char*>(reinterpret_cast<const unsigned char*>(object)) + offset;
}

template <typename T>
bool ReadValue(const UObject* object, std::wstring_view name, T& out) {
  const unsigned char* at = ValueAddress(object, name, nullptr);
  if (!at) return false;
  std::memcpy(&out, at, sizeof(T));
  return true;
}

}  // namespace

FProperty* PropertyCache::Find(const UObject* object, std::wstring_view name) {
  IHost* host = Host();
  if (!object || !host) return nullptr;
  if (generation_ != HostGeneration()) {
    entries_.clear();
    generation_ = HostGeneration();
  }
  const UClass* cls = host->GetClassPrivate(object);
  const auto it = entries_.find(std::pair<const UClass*, std::wstring_view>(cls, name));
  if (it != entries_.end()) return it->second;
  ++engineLookups_;
  FProperty* property = host->GetPropertyByNameInChain(object, name);
  entries_.emplace(Key(cls, std::wstring(name)), property);
  return property;
}

void PropertyCache::Clear() {
  entries_.clear();
  engineLookups_ = 0;
}

PropertyCache& GlobalPropertyCache() {
  static PropertyCache cache;
  return cache;
}

FProperty* FindPropertyCached(const UObject* object, std::wstring_view name) {
  return GlobalPropertyCache().Find(object, name);
}

bool ReadPointerProperty(const UObject* object, std::wstring_view name, UObject*& out) {
  return ReadValue(object, name, out);
}

bool ReadFloatProperty(const UObject* object, std::wstring_view name, float& out) {
  return ReadValue(object, name, out);
}

bool ReadInt32Property(const UObject* object, std::wstring_view name, int32_t& out) {
  return ReadValue(object, name, out);
}

bool ReadByteProperty(const UObject* object, std::wstring_view name, uint8_t& out) {
  return ReadValue(object, name, out);
}

bool ReadVec3Property(const UObject* object, std::wstring_view name, aps::Vec3& out) {
  float v[3];
  if (!ReadValue(object, name, v)) return false;
  out = {v[0], v[1], v[2]};
  return true;
}

bool ReadBoolProperty(const UObject* object, std::wstring_view name, bool& out) {
  FProperty* property = nullptr;
  const unsigned char* at = ValueAddress(object, name, &property);
  if (!at) return false;
  IHost* host = Host();
  const uint8_t mask = host->GetBoolFieldMask(property);
  if (mask == 0) return false;  // not a bool property
  out = (at[host->GetBoolByteOffset(property)] & mask) != 0;
  return true;
}

bool WriteFloatProperty(UObject* object, std::wstring_view name, float value) {
  unsigned char* at = ValueAddress(object, name, nullptr);
  if (!at) return false;
  std::memcpy(at, &value, sizeof(value));
  return true;
}

bool WriteBoolProperty(UObject* object, std::wstring_view name, bool value) {
  FProperty* property = nullptr;
  unsigned char* at = ValueAddress(object, name, &property);
  if (!at) return false;
  IHost* host = Host();
  const uint8_t mask = host->GetBoolFieldMask(property);
  if (mask == 0) return false;
  unsigned char& byte = at[host->GetBoolByteOffset(property)];
  byte = value ? static_cast<unsigned char>(byte | mask) : static_cast<unsigned char>(byte & ~mask);
  return true;
}

bool BuildParamLayout(ParamLayout& layout, const UObject* object, std::wstring_view function,
                      std::initializer_list<std::wstring_view> required) {
  layout = ParamLayout{};
  IHost* host = Host();
  if (!object || !host) return false;
  layout.function = host->GetFunctionByNameInChain(object, function);
  if (!layout.function) return false;
  layout.size = host->GetParmsSize(layout.function);
  for (FProperty* p = host->GetFirstProperty(AsStruct(layout.function)); p;
       p = host->GetNextFieldAsProperty(p)) {
    layout.offsets[host->GetFieldName(p)] = host->GetOffset(p);
  }
  for (std::wstring_view name : required) {
    if (ParamOffset(layout, name) < 0) return false;
  }
  // size - 1 below 512 also turns a size of 0 into an invalid layout (unsigned wrap).
  layout.valid = static_cast<uint16_t>(layout.size - 1) < kMaxParamBlock;
  return layout.valid;
}

int32_t ParamOffset(const ParamLayout& layout, std::wstring_view name) {
  const auto it = layout.offsets.find(name);
  return it == layout.offsets.end() ? -1 : it->second;
}

ParamBlock::ParamBlock(const ParamLayout& layout) : layout_(layout) {
  std::memset(buffer_, 0, layout.valid ? layout.size : sizeof(buffer_));
}

namespace {

// The value lies inside the block; computed wide, since an engine-reported offset near the top
// of the int32 range would wrap to a small number.
bool FitsInBlock(int32_t offset, int32_t bytes, uint16_t size) {
  return offset >= 0 && bytes >= 0 &&
         static_cast<int64_t>(offset) + static_cast<int64_t>(bytes) <= static_cast<int64_t>(size);
}

}  // namespace

bool ParamBlock::Put(std::wstring_view name, const void* value, int32_t bytes) {
  const int32_t offset = ParamOffset(layout_, name);
  if (!layout_.valid || !FitsInBlock(offset, bytes, layout_.size)) return false;
  std::memcpy(buffer_ + offset, value, static_cast<size_t>(bytes));
  return true;
}

bool ParamBlock::Take(std::wstring_view name, void* value, int32_t bytes) const {
  const int32_t offset = ParamOffset(layout_, name);
  if (!layout_.valid || !FitsInBlock(offset, bytes, layout_.size)) return false;
  std::memcpy(value, buffer_ + offset, static_cast<size_t>(bytes));
  return true;
}

bool ParamBlock::Call(UObject* target) {
  IHost* host = Host();
  if (!layout_.valid || !target || !host) return false;
  host->ProcessEvent(target, layout_.function, buffer_);
  return true;
}

}  // namespace kvr::host
