#include "sim/object_model.h"

#include <algorithm>

namespace kvr::sim {

namespace {
int32_t AlignUp(int32_t value, int32_t align) {
  return (value + align - 1) / align * align;
}
}  // namespace

Property& Struct::Place(std::wstring_view n, PropertyKind kind, int32_t bytes, int32_t align,
                        int32_t offset) {
  auto property = std::make_unique<Property>();
  property->name = std::wstring(n);
  property->kind = kind;
  property->size = bytes;
  property->offset = offset >= 0 ? offset : AlignUp(size, align);
  size = std::max(size, property->offset + bytes);
  alignment = std::max(alignment, align);
  if (!properties.empty()) properties.back()->next = property.get();
  properties.push_back(std::move(property));
  bitfieldBit_ = 32;  // anything but a bitfield closes the current word
  return *properties.back();
}

Property& Struct::AddFloat(std::wstring_view n, int32_t offset) {
  return Place(n, PropertyKind::Float, 4, 4, offset);
}

Property& Struct::AddInt32(std::wstring_view n, int32_t offset) {
  return Place(n, PropertyKind::Int32, 4, 4, offset);
}

Property& Struct::AddByte(std::wstring_view n, int32_t offset) {
  return Place(n, PropertyKind::Byte, 1, 1, offset);
}

Property& Struct::AddObject(std::wstring_view n, int32_t offset) {
  return Place(n, PropertyKind::Object, 8, 8, offset);
}

Property& Struct::AddStruct(std::wstring_view n, Struct& type, int32_t offset) {
  Property& p =
      Place(n, PropertyKind::Struct, AlignUp(type.size, type.alignment), type.alignment, offset);
  p.structType = &type;
  return p;
}

Property& Struct::AddBool(std::wstring_view n, int32_t offset) {
  Property& p = Place(n, PropertyKind::Bool, 1, 1, offset);
  p.fieldMask = 0xFF;
  return p;
}

Property& Struct::AddBitfield(std::wstring_view n) {
  const bool startWord = bitfieldBit_ >= 32;
  const int32_t word = startWord ? AlignUp(size, 4) : bitfieldWord_;
  const int32_t bit = startWord ? 0 : bitfieldBit_;
  Property& p = Place(n, PropertyKind::Bool, 4, 4, word);
  p.byteOffset = static_cast<uint8_t>(bit / 8);
  p.fieldMask = static_cast<uint8_t>(1u << (bit % 8));
  bitfieldWord_ = word;
  bitfieldBit_ = bit + 1;
  return p;
}

Property* Struct::FindOwn(std::wstring_view n) const {
  for (const auto& p : properties) {
    if (p->name == n) return p.get();
  }
  return nullptr;
}

Property* Struct::FindInChain(std::wstring_view n) const {
  for (const Struct* s = this; s; s = s->super) {
    if (Property* p = s->FindOwn(n)) return p;
  }
  return nullptr;
}

bool Struct::IsChildOf(const Struct* other) const {
  for (const Struct* s = this; s; s = s->super) {
    if (s == other) return true;
  }
  return false;
}

void Function::Seal() {
  parmsSize = static_cast<uint16_t>(AlignUp(size, alignment));
}

Function* Class::FindOwnFunction(std::wstring_view n) const {
  for (const auto& f : functions) {
    if (f->name == n) return f.get();
  }
  return nullptr;
}

Function* Class::FindFunctionInChain(std::wstring_view n) const {
  for (const Class* c = this; c; c = static_cast<const Class*>(c->super)) {
    if (Function* f = c->FindOwnFunction(n)) return f;
  }
  return nullptr;
}

}  // namespace kvr::sim
