// The host seam: everything the mod asks of the mod host and of the engine.
//
// In the game the mod host exposes the engine's objects and reflection; off the game the
// simulated engine (sim/) stands behind the same interface. Like the engine, the seam answers
// look-ups (an object's class, a property's offset, a function's parameter block); values are
// read and written by the mod itself in object memory at the reflected byte offsets, e.g.
// `*(float*)((char*)object + GetOffset(property))`.
//
// Engine types are opaque: the mod declares them and never defines them. As in the engine,
// classes and functions are structs, and structs are objects, at the same address (single
// inheritance), so the conversions below are plain pointer casts.
//
// Every call may answer null, 0 or an empty value (a missing name, a null object); callers
// decide their own fallback. No call throws.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/log.h"

namespace kvr::host {

struct UObject;
struct UStruct;
struct UClass;
struct UFunction;
struct FProperty;

inline UObject* AsObject(UClass* c) {
  return reinterpret_cast<UObject*>(c);
}
inline UObject* AsObject(UFunction* f) {
  return reinterpret_cast<UObject*>(f);
}
inline UObject* AsObject(UStruct* s) {
  return reinterpret_cast<UObject*>(s);
}
inline UStruct* AsStruct(UClass* c) {
  return reinterpret_cast<UStruct*>(c);
}
inline UStruct* AsStruct(UFunction* f) {
  return reinterpret_cast<UStruct*>(f);
}

// Object flag bits the mod tests.
inline constexpr uint32_t kObjectFlagClassDefault = 0x10;  // a class default object
inline constexpr uint32_t kObjectFlagArchetype = 0x20;     // a template, not a live object

// Called before every ProcessEvent, on the calling thread, with the context object, the function
// and the parameter block.
using ProcessEventCallback =
    std::function<void(UObject* object, UFunction* function, void* params)>;

// The engine's object-deletion listener. Virtual slot order: destructor, NotifyUObjectDeleted,
// OnUObjectArrayShutdown.
class IDeleteListener {
 public:
  virtual ~IDeleteListener() = default;
  // Every object the engine deletes, on the deleting thread, while its memory is still valid.
  virtual void NotifyUObjectDeleted(const UObject* object, int32_t index) = 0;
  // Once, when the engine tears its object array down. The listener may remove itself here.
  virtual void OnUObjectArrayShutdown() = 0;
};

class IHost {
 public:
  virtual ~IHost() = default;

  // --- mod host services ---------------------------------------------------------------------
  // Never unregistered; called before every ProcessEvent until the process ends.
  virtual void RegisterProcessEventPreCallback(ProcessEventCallback callback) = 0;
  // The host's output devices; lives as long as the host. Never null.
  virtual const LogDeviceList* OutputDevices() = 0;

  // A host that runs the game faster or slower than the wall clock offers its own clock
  // (monotonic nanoseconds); null means the system's monotonic clock.
  using ClockFn = uint64_t (*)();
  virtual ClockFn SteadyClock() { return nullptr; }

  // --- names ---------------------------------------------------------------------------------
  // Find-only: the comparison index of an existing name, 0 when the name does not exist (the
  // name table is never extended by this call).
  virtual uint32_t FindNameIndex(std::wstring_view text) = 0;
  // The comparison index of an object's name (0 for null).
  virtual uint32_t GetNameIndex(const UObject* object) = 0;

  // --- object array --------------------------------------------------------------------------
  virtual void AddUObjectDeleteListener(IDeleteListener* listener) = 0;
  virtual void RemoveUObjectDeleteListener(IDeleteListener* listener) = 0;
  // Every live object whose class is the named class or derives from it, class default objects
  // and archetypes included; entries may be null. `out` is replaced.
  virtual void FindAllOf(std::wstring_view className, std::vector<UObject*>& out) = 0;
  // The object with this full path ("/Script/Package.Name"), or null.
  virtual UObject* FindObject(std::wstring_view path) = 0;

  // --- objects (all answer 0 / null / "" for a null object) ----------------------------------
  virtual uint32_t GetObjectFlags(const UObject* object) = 0;
  // Stable index in the object array while the object lives; -1 for null.
  virtual int32_t GetInternalIndex(const UObject* object) = 0;
  virtual UClass* GetClassPrivate(const UObject* object) = 0;
  virtual std::wstring GetName(const UObject* object) = 0;

  // --- reflection ----------------------------------------------------------------------------
  // Searched on the object's class, then its super classes.
  virtual FProperty* GetPropertyByNameInChain(const UObject* object, std::wstring_view name) = 0;
  virtual UFunction* GetFunctionByNameInChain(const UObject* object, std::wstring_view name) = 0;
  // The whole parameter block size in bytes.
  virtual uint16_t GetParmsSize(const UFunction* function) = 0;
  // The struct's own properties (a function's parameters), in declaration order.
  virtual FProperty* GetFirstProperty(const UStruct* structure) = 0;
  virtual FProperty* GetNextFieldAsProperty(const FProperty* property) = 0;
  virtual std::wstring GetFieldName(const FProperty* property) = 0;
  // Byte offset from the object's (or parameter block's, or struct's) start.
  virtual int32_t GetOffset(const FProperty* property) = 0;
  // Bool properties: the value is (byte at offset + byte offset) & field mask. Both are 0 for a
  // property that is not a bool.
  virtual uint8_t GetBoolByteOffset(const FProperty* property) = 0;
  virtual uint8_t GetBoolFieldMask(const FProperty* property) = 0;
  // The struct type of a struct property; null for any other property.
  virtual UStruct* GetStructPropertyStruct(const FProperty* property) = 0;

  // Runs the function synchronously on the object (after the pre-callbacks); out-parameters and
  // ReturnValue are left in the block.
  virtual void ProcessEvent(UObject* object, UFunction* function, void* params) = 0;

  // --- engine allocator ----------------------------------------------------------------------
  // False when the engine offers no allocator; Malloc then answers null.
  virtual bool HasEngineAllocator() = 0;
  // At least `alignment` (16 for the mod's use) aligned; null on failure.
  virtual void* Malloc(size_t size, uint32_t alignment) = 0;
  // A block from Malloc (or one the engine allocated itself); null is ignored.
  virtual void Free(void* block) = 0;
};

// Finds the binding over the real mod host: null when its DLL is not in the process, or (with
// `whyNot` set to one line saying why) when the mod must not bind to it.
using FindModHostFn = IHost* (*)(std::string& whyNot);

// The process-wide host, the equivalent of linking against the host's library. Set once at
// start-up (tests and stand-in hosts may set another one; pass nullptr to clear). Null until set.
void SetHost(IHost* host);
IHost* Host();
// Incremented by every SetHost; caches keyed by engine pointers drop their entries when it changes.
uint64_t HostGeneration();

}  // namespace kvr::host
