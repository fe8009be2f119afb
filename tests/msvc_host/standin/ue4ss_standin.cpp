// A stand-in for the mod host's DLL (UE4SS.dll), built for the MSVC C++ ABI: it exports the
// host's functions under the host's decorated names, loads the mod and calls the mod object
// through real MSVC virtual calls, keeps the ProcessEvent callbacks in a vector of
// std::function that it copies, grows and calls as the host's STL does, hands over strings and
// vectors allocated on the host runtime's heap, and throws MSVC C++ exceptions where the host
// throws (a null name, a duplicate delete listener, allocation without an allocator) and, on
// request, from other calls. The engine behind it is the simulated one, reached through
// KvrEngine (engine.h).
//
// No C runtime start-up runs (the DLL has no entry point): globals are constant-initialised and
// never destroyed, and kvr_standin_start does the rest.
#include "../engine.h"
#include "kernel32.h"
#include "ue4ss_api.h"

extern "C" int _fltused = 0;

// Called from a pure virtual slot; MSVC's runtime would end the process too.
extern "C" int _purecall() {
  __builtin_trap();
}

// type_info's table lives in the static part of MSVC's runtime, which is not linked here; only
// its address is used (by the descriptors of thrown types).
extern "C" const void* const kvr_type_info_vtable[2] __asm__("??_7type_info@@6B@");
const void* const kvr_type_info_vtable[2] = {nullptr, nullptr};

KvrStandinCounters kvr_standin_counters = {};

void* operator new(size_t size) {
  void* block = malloc(size ? size : 1);
  if (!block) __builtin_trap();
  KvrCount(kvr_standin_counters.live, 1);
  return block;
}
void operator delete(void* block) noexcept {
  if (!block) return;
  KvrCount(kvr_standin_counters.live, -1);
  free(block);
}
void operator delete(void* block, size_t) noexcept {
  operator delete(block);
}
void* operator new[](size_t size) {
  return operator new(size);
}
void operator delete[](void* block) noexcept {
  operator delete(block);
}
void operator delete[](void* block, size_t) noexcept {
  operator delete(block);
}

namespace {

using RC::Unreal::UObject;

// What the stand-in throws: the host throws std::runtime_error, any C++ type does here.
struct HostError {
  const wchar_t* what;
};

struct State {
  const KvrEngine* engine;
  int throwing;
  CriticalSection callbacksLock;  // the host's callback list
  CriticalSection listenersLock;  // the engine's listener list
  int64_t updates;
  int64_t unrealInits;
  int64_t callbackCalls;
  int64_t listenerNotices;
  int64_t listenerShutdowns;
  int64_t exceptions;
  int64_t handedOver;
  int64_t heapBusyAtStart;
  int64_t liveAtStart;
  void* modModule;
  RC::CppUserModBase* mod;
  void (*uninstallMod)(RC::CppUserModBase*);
};
State g = {};

[[clang::no_destroy]] std::vector<RC::Unreal::Hook::ProcessEventCallback> g_callbacks;
[[clang::no_destroy]] std::vector<RC::Unreal::FUObjectDeleteListener*> g_listeners;
[[clang::no_destroy]] RC::Output::OutputDevicesContainerType g_devices;

struct FMallocStandIn {
  void* vtable;
};
FMallocStandIn g_gmalloc = {};

[[noreturn]] void Throw(const wchar_t* what) {
  KvrCount(g.exceptions, 1);
  throw HostError{what};
}

void ThrowIfAsked(int call, const wchar_t* what) {
  if (g.throwing & call) Throw(what);
}

char* At(void* object, size_t offset) {
  return static_cast<char*>(object) + offset;
}

// The engine's object header: flags at 8, index at 12, class at 16, name at 24.
constexpr size_t kFlagsOffset = 8;
constexpr size_t kIndexOffset = 12;
constexpr size_t kClassOffset = 16;
constexpr size_t kNameOffset = 24;

// Text from one of the engine's name calls, as a string the caller owns (on the host heap when
// it is long: the caller takes that block over).
std::wstring NameText(size_t (*source)(const void*, wchar_t*, size_t), const void* of) {
  size_t capacity = 64;
  for (;;) {
    wchar_t* buffer = new wchar_t[capacity];
    const size_t length = source(of, buffer, capacity);
    if (length < capacity) {
      std::wstring text(buffer, length);
      delete[] buffer;
      if (text.on_heap()) KvrCount(g.handedOver, 1);
      return text;
    }
    delete[] buffer;
    capacity = length + 1;
  }
}

void AddFound(void* context, void* object) {
  static_cast<std::vector<UObject*>*>(context)->push_back(static_cast<UObject*>(object));
}

// Busy blocks on the host runtime's heap.
int64_t HeapBusyBlocks() {
  void* heap = _get_heap_handle();
  HeapEntry entry = {};
  int64_t busy = 0;
  HeapLock(heap);
  while (HeapWalk(heap, &entry)) busy += (entry.flags & kHeapEntryBusy) ? 1 : 0;
  HeapUnlock(heap);
  return busy;
}

class PlainDevice final : public RC::Output::OutputDevice {
 public:
  void receive(std::wstring_view fmt) const override {
    g.engine->device_line(0, fmt.data(), fmt.size(), 0);
  }
};

class OptionalArgDevice final : public RC::Output::OutputDevice {
 public:
  bool has_optional_arg() const override { return true; }
  void receive(std::wstring_view fmt) const override { receive_with_optional_arg(fmt, 0); }
  void receive_with_optional_arg(std::wstring_view fmt, int32_t optional_arg) const override {
    ThrowIfAsked(KVR_THROW_DEVICE_1, L"device");
    g.engine->device_line(1, fmt.data(), fmt.size(), optional_arg);
  }
};

// A callback of the host's own, registered after the mod's so that the vector grows and moves
// the mod's callback to new storage.
void HostOwnCallback(UObject*, RC::Unreal::UFunction*, void*) {}

template <typename T>
void CopyText(wchar_t* to, size_t capacity, const T& text) {
  size_t i = 0;
  for (; i + 1 < capacity && i < text.size(); ++i) to[i] = text.data()[i];
  to[i] = L'\0';
}

}  // namespace

// --- the host's exports --------------------------------------------------------------------------

namespace RC::Unreal {

FMalloc* GMalloc = nullptr;

FName::FName(const wchar_t* name, EFindName find_type, void*) {
  if (!name) Throw(L"FName with a null name");
  ComparisonIndex = g.engine->find_name(name);
  Number = 0;
  (void)find_type;  // the simulated name table is only searched
}

UClass*& UObjectBase::GetClassPrivate() {
  return *reinterpret_cast<UClass**>(At(this, kClassOffset));
}
FName& UObjectBase::GetNamePrivate() {
  return *reinterpret_cast<FName*>(At(this, kNameOffset));
}
EObjectFlags& UObjectBase::GetObjectFlags() {
  return *reinterpret_cast<EObjectFlags*>(At(this, kFlagsOffset));
}
int32_t UObjectBase::GetInternalIndex() {
  return *reinterpret_cast<int32_t*>(At(this, kIndexOffset));
}

std::wstring UObject::GetName() const {
  ThrowIfAsked(KVR_THROW_OBJECT_NAME, L"GetName");
  return NameText(g.engine->object_name, this);
}
FProperty* UObject::GetPropertyByNameInChain(const wchar_t* name) {
  return static_cast<FProperty*>(g.engine->property_in_chain(this, name));
}
UFunction* UObject::GetFunctionByNameInChain(const wchar_t* name) {
  return static_cast<UFunction*>(g.engine->function_in_chain(this, name));
}
void UObject::ProcessEvent(UFunction* function, void* params) {
  ThrowIfAsked(KVR_THROW_PROCESS_EVENT, L"ProcessEvent");
  g.engine->process_event(this, function, params);
}

FProperty* UStruct::GetFirstProperty() {
  return static_cast<FProperty*>(g.engine->first_property(this));
}
uint16_t& UFunction::GetParmsSize() {
  return *g.engine->parms_size(this);
}
FProperty* FField::GetNextFieldAsProperty() {
  return static_cast<FProperty*>(g.engine->next_property(this));
}
std::wstring FField::GetName() {
  ThrowIfAsked(KVR_THROW_FIELD_NAME, L"FField::GetName");
  return NameText(g.engine->field_name, this);
}
int32_t& FProperty::GetOffset_Internal() {
  return *g.engine->offset(this);
}
uint8_t& FBoolProperty::GetByteOffset() {
  return *g.engine->byte_offset(this);
}
uint8_t& FBoolProperty::GetFieldMask() {
  return *g.engine->field_mask(this);
}
UScriptStruct*& FStructProperty::GetStruct() {
  return *reinterpret_cast<UScriptStruct**>(g.engine->struct_type(this));
}

// As the engine's array: a listener is there at most once, removal swaps the last one in.
void UObjectArray::AddUObjectDeleteListener(FUObjectDeleteListener* listener) {
  Locked lock(g.listenersLock);
  for (FUObjectDeleteListener* known : g_listeners) {
    if (known == listener) Throw(L"Cannot add a listener because it already exists");
  }
  g_listeners.push_back(listener);
}
void UObjectArray::RemoveUObjectDeleteListener(FUObjectDeleteListener* listener) {
  ThrowIfAsked(KVR_THROW_REMOVE_LISTENER, L"RemoveUObjectDeleteListener");
  Locked lock(g.listenersLock);
  for (size_t i = 0; i < g_listeners.size(); ++i) {
    if (g_listeners[i] == listener) {
      g_listeners.remove_swap(i);
      return;
    }
  }
}

void UObjectGlobals::FindAllOf(const wchar_t* class_name, std::vector<UObject*>& out_objects) {
  g.engine->find_all_of(class_name, &AddFound, &out_objects);
  if (out_objects.allocated()) KvrCount(g.handedOver, 1);
  ThrowIfAsked(KVR_THROW_FIND_ALL_OF, L"FindAllOf");
}
UObject* UObjectGlobals::FindObject(UClass*, UObject*, const wchar_t* name, bool, ObjectSearcher*) {
  ThrowIfAsked(KVR_THROW_FIND_OBJECT, L"FindObject");
  if (!name) Throw(L"FindObject without a name");
  return static_cast<UObject*>(g.engine->find_object(name));
}

void Hook::RegisterProcessEventPreCallback(ProcessEventCallback callback) {
  Locked lock(g.callbacksLock);
  g_callbacks.push_back(callback);
}

void* FMemory::Malloc(size_t size, uint32_t alignment) {
  if (!GMalloc) Throw(L"FMemory::Malloc without an allocator");
  ThrowIfAsked(KVR_THROW_MALLOC, L"FMemory::Malloc");
  return g.engine->malloc(size, alignment);
}
void FMemory::Free(void* block) {
  if (!GMalloc) Throw(L"FMemory::Free without an allocator");
  g.engine->free(block);
}

}  // namespace RC::Unreal

namespace RC::Output {

OutputDevicesContainerType& DefaultTargets::get_default_devices_ref() {
  return g_devices;
}

}  // namespace RC::Output

// --- the stand-in's own entry points, for the program playing the game ---------------------------

extern "C" {

__declspec(dllexport) void kvr_standin_set_throwing(int throwing_calls) {
  g.throwing = throwing_calls;
}

__declspec(dllexport) void kvr_standin_set_gmalloc(int gmalloc) {
  RC::Unreal::GMalloc = gmalloc ? reinterpret_cast<RC::Unreal::FMalloc*>(&g_gmalloc) : nullptr;
}

__declspec(dllexport) void kvr_standin_start(const KvrEngine* engine, int throwing_calls,
                                             int gmalloc) {
  g.engine = engine;
  kvr_standin_set_throwing(throwing_calls);
  kvr_standin_set_gmalloc(gmalloc);
  InitializeCriticalSection(&g.callbacksLock);
  InitializeCriticalSection(&g.listenersLock);
  g_devices.push_back(std::unique_ptr<RC::Output::OutputDevice>(new PlainDevice));
  g_devices.push_back(std::unique_ptr<RC::Output::OutputDevice>(new OptionalArgDevice));
  g.heapBusyAtStart = HeapBusyBlocks();
  g.liveAtStart = kvr_standin_counters.live;
}

// As the host loads a C++ mod: its DLL, then start_mod.
__declspec(dllexport) int kvr_standin_load_mod(const wchar_t* path) {
  g.modModule = LoadLibraryW(path);
  if (!g.modModule) return 0;
  using StartMod = RC::CppUserModBase* (*)();
  auto start = reinterpret_cast<StartMod>(GetProcAddress(g.modModule, "start_mod"));
  g.uninstallMod =
      reinterpret_cast<void (*)(RC::CppUserModBase*)>(GetProcAddress(g.modModule, "uninstall_mod"));
  if (!start || !g.uninstallMod) return 0;
  g.mod = start();
  if (g.mod) {
    // The host's own callback goes in after the mod's.
    Locked lock(g.callbacksLock);
    g_callbacks.push_back(RC::Unreal::Hook::ProcessEventCallback(&HostOwnCallback));
  }
  return g.mod != nullptr;
}

__declspec(dllexport) void kvr_standin_update(void) {
  if (!g.mod) return;
  g.mod->on_update();
  KvrCount(g.updates, 1);
}

__declspec(dllexport) void kvr_standin_unreal_init(void) {
  if (!g.mod) return;
  g.mod->on_unreal_init();
  KvrCount(g.unrealInits, 1);
}

// Every other event the host may send, once each: they must all be harmless.
__declspec(dllexport) void kvr_standin_other_events(void) {
  if (!g.mod) return;
  g.mod->on_ui_init();
  g.mod->on_program_start();
  g.mod->on_lua_start(nullptr, nullptr, nullptr, nullptr, nullptr);
  g.mod->on_lua_start(nullptr, nullptr, nullptr, nullptr);
  g.mod->on_lua_stop(nullptr, nullptr, nullptr, nullptr, nullptr);
  g.mod->on_lua_stop(nullptr, nullptr, nullptr, nullptr);
  g.mod->on_dll_load(std::wstring_view(L"some.dll", 8));
  g.mod->render_tab();
}

__declspec(dllexport) void kvr_standin_uninstall(void) {
  if (!g.mod) return;
  g.uninstallMod(g.mod);
  g.mod = nullptr;
}

// A host reloading mods unloads the DLL; what the mod registered stays registered.
__declspec(dllexport) void kvr_standin_unload(void) {
  if (g.modModule) FreeLibrary(g.modModule);
  g.modModule = nullptr;
}

// The host's ProcessEvent hook: every callback, in order, before the engine's function runs.
__declspec(dllexport) void kvr_standin_process_event_pre(void* object, void* function,
                                                         void* params) {
  Locked lock(g.callbacksLock);
  for (RC::Unreal::Hook::ProcessEventCallback& callback : g_callbacks) {
    callback(static_cast<UObject*>(object), static_cast<RC::Unreal::UFunction*>(function), params);
    KvrCount(g.callbackCalls, 1);
  }
}

__declspec(dllexport) void kvr_standin_object_deleted(const void* object, int32_t index) {
  Locked lock(g.listenersLock);
  for (size_t i = 0; i < g_listeners.size(); ++i) {
    g_listeners[i]->NotifyUObjectDeleted(static_cast<const RC::Unreal::UObjectBase*>(object),
                                         index);
    KvrCount(g.listenerNotices, 1);
  }
}

// As the engine's shutdown: last to first, each listener expected to remove itself.
__declspec(dllexport) void kvr_standin_object_array_shutdown(void) {
  Locked lock(g.listenersLock);
  for (size_t i = g_listeners.size(); i-- > 0;) {
    if (i >= g_listeners.size()) continue;
    g_listeners[i]->OnUObjectArrayShutdown();
    KvrCount(g.listenerShutdowns, 1);
  }
}

// `read_mod_info`: read the mod object's text members as the host's base class has them (only
// for a mod object that has the host's layout).
__declspec(dllexport) void kvr_standin_report(KvrStandinReport* out, int read_mod_info) {
  *out = {};
  out->updates = g.updates;
  out->unreal_inits = g.unrealInits;
  {
    Locked lock(g.callbacksLock);
    out->callbacks = static_cast<int64_t>(g_callbacks.size());
  }
  {
    Locked lock(g.listenersLock);
    out->listeners = static_cast<int64_t>(g_listeners.size());
  }
  out->callback_calls = g.callbackCalls;
  out->function_copies = kvr_standin_counters.functionCopies;
  out->function_moves = kvr_standin_counters.functionMoves;
  out->function_destroys = kvr_standin_counters.functionDestroys;
  out->listener_notices = g.listenerNotices;
  out->listener_shutdowns = g.listenerShutdowns;
  out->exceptions_thrown = g.exceptions;
  out->blocks_handed_over = g.handedOver;
  // Blocks the mod took over and gave back are busy in neither count; one it kept (or gave to
  // the wrong heap) is busy here but not held by the stand-in.
  const int64_t heldByHost = kvr_standin_counters.live - g.liveAtStart - g.handedOver;
  out->heap_unexplained = HeapBusyBlocks() - g.heapBusyAtStart - heldByHost;
  if (g.mod && read_mod_info) {
    CopyText(out->mod_name, 64, g.mod->ModName);
    CopyText(out->mod_version, 16, g.mod->ModVersion);
  }
}

}  // extern "C"
