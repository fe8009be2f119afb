// The simulated engine's reflection: objects as real memory blocks, classes and structs with
// properties at byte offsets, functions with parameter chains and native bodies.
//
// Every object (instances, classes, structs, functions) starts with the engine's object header,
// so the seam's opaque pointers are simply the addresses of these blocks, and the mod reads
// values at reflected offsets exactly as it does in the game.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/api/host.h"

namespace kvr::sim {

class World;
struct Class;
struct Struct;
struct Function;

// The first 0x28 bytes of every object, laid out like the engine's.
struct ObjectHeader {
  const void* vtable = nullptr;  // unused: the simulated engine dispatches through its classes
  uint32_t flags = 0;
  int32_t internalIndex = -1;
  Class* cls = nullptr;
  uint32_t nameIndex = 0;
  uint32_t nameNumber = 0;
  void* outer = nullptr;
};
static_assert(sizeof(ObjectHeader) == 0x28);

inline ObjectHeader* Header(const host::UObject* object) {
  return reinterpret_cast<ObjectHeader*>(const_cast<host::UObject*>(object));
}

enum class PropertyKind : uint8_t { Float, Int32, Byte, Bool, Object, Struct };

struct Property {
  std::wstring name;
  PropertyKind kind = PropertyKind::Int32;
  int32_t offset = 0;
  int32_t size = 0;
  uint8_t byteOffset = 0;        // bool only
  uint8_t fieldMask = 0;         // bool only: 0xFF for a plain bool, one bit for a bitfield
  Struct* structType = nullptr;  // struct only
  Property* next = nullptr;      // the owner's next property, in declaration order
};

// A struct, and the base of classes and functions. Its own properties only; the class chain
// is followed through `super`.
struct Struct {
  ObjectHeader header;
  std::wstring name;
  Struct* super = nullptr;
  std::vector<std::unique_ptr<Property>> properties;
  int32_t size = 0;  // bytes, including the super's
  int32_t alignment = 1;

  Struct() = default;
  Struct(const Struct&) = delete;
  Struct& operator=(const Struct&) = delete;

  // Appended at the next suitably aligned offset, or at `offset` when it is 0 or more.
  Property& AddFloat(std::wstring_view n, int32_t offset = -1);
  Property& AddInt32(std::wstring_view n, int32_t offset = -1);
  Property& AddByte(std::wstring_view n, int32_t offset = -1);
  Property& AddObject(std::wstring_view n, int32_t offset = -1);
  Property& AddStruct(std::wstring_view n, Struct& type, int32_t offset = -1);
  // A plain bool: one byte, field mask 0xFF.
  Property& AddBool(std::wstring_view n, int32_t offset = -1);
  // A bitfield bool: packed with the bitfields declared just before it in a 32-bit word, so
  // both the byte offset and the field mask matter.
  Property& AddBitfield(std::wstring_view n);

  Property* FindOwn(std::wstring_view n) const;
  Property* FindInChain(std::wstring_view n) const;
  bool IsChildOf(const Struct* other) const;

 private:
  Property& Place(std::wstring_view n, PropertyKind kind, int32_t bytes, int32_t align,
                  int32_t offset);
  int32_t bitfieldWord_ = -1;  // offset of the word the next bitfield may join
  int32_t bitfieldBit_ = 32;
};

// What a native body sees: the world, the object it runs on, the function and the block.
struct NativeCall {
  World& world;
  host::UObject* self;
  const Function& function;
  void* params;
  // The parameter's address in the block, null when the function has no such parameter.
  template <typename T>
  T* Param(std::wstring_view n) const;
};

using NativeBody = std::function<void(NativeCall& call)>;

struct Function : Struct {
  uint16_t parmsSize = 0;  // set by Seal, or by hand to model an odd engine function
  NativeBody body;
  // The block size from the parameters (rounded to their alignment).
  void Seal();
};

struct Class : Struct {
  std::wstring package;  // "/Script/Engine", "/Game/Blueprints", ...
  std::vector<std::unique_ptr<Function>> functions;
  host::UObject* defaultObject = nullptr;

  Function* FindOwnFunction(std::wstring_view n) const;
  Function* FindFunctionInChain(std::wstring_view n) const;
};

template <typename T>
T* NativeCall::Param(std::wstring_view n) const {
  const Property* p = function.FindOwn(n);
  return p ? reinterpret_cast<T*>(static_cast<unsigned char*>(params) + p->offset) : nullptr;
}

}  // namespace kvr::sim
