// The mod object as the MSVC-built mod host sees it, whatever compiler builds the mod.
//
// The host gets the object from start_mod and from then on only calls through the virtual table
// pointer at its start, in the Microsoft C++ ABI: slot 0 is the scalar deleting destructor (one
// flags argument, bit 0 = free the object), slot 1 on_update, slot 2 on_unreal_init; the
// remaining slots are the host's other events (UI start, program start, Lua start and stop, DLL
// load, its tab), which this mod leaves alone. GCC would give a virtual destructor two slots and
// move every later entry down by one, so the table is laid out by hand instead of by `virtual`,
// with spare harmless slots for newer hosts that declare more events. Every entry takes the
// object as its first argument, which is how both compilers pass `this` on Windows x64.
//
// The data members are those of the host's base class (192 bytes), plus one pointer that newer
// hosts read to find per-event hooks and that stays null, so they fall back to the table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <type_traits>

#include "host/msvc_std.h"

namespace kvr::mod {

class CppUserModBase;

inline constexpr size_t kHostVTableSlots = 32;

struct HostVTable {
  using Destroy = CppUserModBase* (*)(CppUserModBase* self, uint32_t flags);
  using Event = void (*)(CppUserModBase* self);

  Destroy destroy;  // slot 0
  Event onUpdate;   // slot 1
  Event onUnrealInit;
  // The host's other events, whatever their arguments: a function that ignores its arguments
  // and returns nothing is a correct implementation of each on Windows x64, where the caller
  // owns the argument space.
  Event others[kHostVTableSlots - 3];
};
static_assert(sizeof(HostVTable) == kHostVTableSlots * sizeof(void*));

inline constexpr uint32_t kDestroyFreesObject = 1;

class CppUserModBase {
 public:
  CppUserModBase(const CppUserModBase&) = delete;
  CppUserModBase& operator=(const CppUserModBase&) = delete;

  // The events a derived class may hide with its own (the table reaches the derived one).
  void on_update() {}
  void on_unreal_init() {}

  // The host's own members, at the host's offsets. The host never reads them itself; they are
  // kept as its base class keeps them.
  const HostVTable* vtable;                       // 0
  msvc::Vector<void*> GUITabs;                    // 8: stays empty
  msvc::WString ModName;                          // 32
  msvc::WString ModVersion;                       // 64
  msvc::WString ModDescription;                   // 96
  msvc::WString ModAuthors;                       // 128
  msvc::WString ModIntendedSDKVersion;            // 160
  void* EventDispatcher;                          // 192: newer hosts only; null
  static constexpr size_t kHostObjectSize = 192;  // what the host's own base class occupies

 protected:
  explicit CppUserModBase(const HostVTable& table);
  ~CppUserModBase();
  // Fills the four text members; the texts are copied.
  void SetModInfo(std::u16string_view name, std::u16string_view version,
                  std::u16string_view description, std::u16string_view authors);
};

static_assert(std::is_standard_layout_v<CppUserModBase>);
static_assert(offsetof(CppUserModBase, vtable) == 0);
static_assert(offsetof(CppUserModBase, GUITabs) == 8);
static_assert(offsetof(CppUserModBase, ModName) == 32);
static_assert(offsetof(CppUserModBase, ModVersion) == 64);
static_assert(offsetof(CppUserModBase, ModDescription) == 96);
static_assert(offsetof(CppUserModBase, ModAuthors) == 128);
static_assert(offsetof(CppUserModBase, ModIntendedSDKVersion) == 160);
static_assert(offsetof(CppUserModBase, EventDispatcher) == CppUserModBase::kHostObjectSize);

// What the host does with the object, made the way an MSVC-built host makes it: load the table
// pointer from the object's first word, call the slot with the object first.
inline const HostVTable& TableOf(CppUserModBase* mod) {
  return **reinterpret_cast<const HostVTable* const*>(mod);
}
inline void HostCallOnUpdate(CppUserModBase* mod) {
  TableOf(mod).onUpdate(mod);
}
inline void HostCallOnUnrealInit(CppUserModBase* mod) {
  TableOf(mod).onUnrealInit(mod);
}
inline void HostDelete(CppUserModBase* mod) {
  TableOf(mod).destroy(mod, kDestroyFreesObject);
}

namespace detail {

void IgnoreHostEvent(CppUserModBase* self);

// Nothing may unwind out of an entry: above it are the host's frames, which cannot run GCC's
// unwinder. A failing event is dropped; the mod's own parts report what they can.
template <class Mod>
CppUserModBase* DestroyMod(CppUserModBase* self, uint32_t flags) {
  Mod* mod = static_cast<Mod*>(self);
  if (flags & kDestroyFreesObject) {
    delete mod;
  } else {
    mod->~Mod();
  }
  return self;
}

template <class Mod>
void UpdateMod(CppUserModBase* self) {
  try {
    static_cast<Mod*>(self)->on_update();
  } catch (...) {
  }
}

template <class Mod>
void UnrealInitMod(CppUserModBase* self) {
  try {
    static_cast<Mod*>(self)->on_unreal_init();
  } catch (...) {
  }
}

template <class Mod>
constexpr HostVTable MakeHostVTableUnchecked() {
  HostVTable table{&DestroyMod<Mod>, &UpdateMod<Mod>, &UnrealInitMod<Mod>, {}};
  for (HostVTable::Event& slot : table.others) slot = &IgnoreHostEvent;
  return table;
}

}  // namespace detail

// The table of a mod class, to be kept in a constant of the mod's own source file (internal
// linkage). A table shared through a header would be one object the dynamic linker may merge
// with another module's copy, and the host would then call into that module. The class must not
// be polymorphic itself: a GCC table pointer of its own would go at offset 0 and push the host's
// members along.
template <class Mod>
constexpr HostVTable MakeHostVTable() {
  static_assert(std::is_base_of_v<CppUserModBase, Mod> && !std::is_polymorphic_v<Mod>,
                "a mod class derives CppUserModBase and declares no virtual function");
  return detail::MakeHostVTableUnchecked<Mod>();
}

}  // namespace kvr::mod
