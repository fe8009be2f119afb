#include "ue4ss/win32/ue4ss_host.h"

#include <windows.h>

#include <cstring>

#include "host/log.h"
#include "platform/text.h"
#include "ue4ss/win32/host_memory.h"
#include "ue4ss/win32/msvc_call.h"

namespace kvr::ue4ss {

namespace {

// FName's find-only mode: the name table is searched, never extended.
constexpr uint32_t kFindNameOnly = 0;
// An FName is 8 bytes, 16 in case-preserving engine builds; the constructor gets room to spare.
constexpr size_t kFNameRoom = 32;

std::wstring Terminated(std::wstring_view text) {
  return std::wstring(text);
}

}  // namespace

Ue4ssHost::Ue4ssHost(void* module) {
  for (size_t i = 0; i < kExportCount; ++i) {
    const auto e = static_cast<Export>(i);
    exports_[i] = reinterpret_cast<const void*>(
        GetProcAddress(static_cast<HMODULE>(module), InfoOf(e).decorated));
    if (!exports_[i]) gaps_.push_back(MissingExportLine(e));
  }
  if (!BindMsvcFrameHandler())
    gaps_.push_back(
        "vcruntime140.dll is not loaded: a UE4SS call that throws cannot be caught and would end "
        "the game");
  if (!BindHostFree())
    gaps_.push_back(
        "ucrtbase.dll is not loaded: memory UE4SS hands over (names, object lists) is kept "
        "instead of freed");
  devices_.Bind(Fn(Export::kDefaultOutputDevices));
}

template <typename... Args>
bool Ue4ssHost::Call(Export e, uint64_t& result, Args... args) {
  if (CallHost(Fn(e), result, args...)) return true;
  const size_t i = static_cast<size_t>(e);
  if (Fn(e) && !threw_[i].exchange(true)) {
    Log(std::string("UE4SS call ") + InfoOf(e).declared +
        " threw an exception; the mod went on without its answer");
  }
  return false;
}

template <typename T>
T Ue4ssHost::ReadThrough(Export e, const void* self, T fallback) {
  uint64_t address = 0;
  if (!self || !Call(e, address, self) || address == 0) return fallback;
  T value;
  std::memcpy(&value, reinterpret_cast<const void*>(address), sizeof value);
  return value;
}

std::wstring Ue4ssHost::CallForString(Export e, const void* self) {
  if (!self) return {};
  // Looks like an empty string until the callee constructs it in place.
  msvc::WString result{};
  result.capacity = msvc::kWStringLocalCapacity;
  uint64_t ignored = 0;
  if (!Call(e, ignored, self, &result)) return {};
  return TakeHostString(result);
}

void Ue4ssHost::RegisterProcessEventPreCallback(host::ProcessEventCallback callback) {
  if (!Fn(Export::kRegisterProcessEventPreCallback)) return;
  // Passed by value: the host gets the argument's address and destroys it before returning.
  msvc::Function argument;
  MakePreCallbackArgument(argument, std::move(callback));
  uint64_t ignored = 0;
  Call(Export::kRegisterProcessEventPreCallback, ignored, &argument);
}

uint32_t Ue4ssHost::FindNameIndex(std::wstring_view text) {
  if (text.empty()) return 0;
  const std::wstring name = Terminated(text);
  alignas(8) unsigned char fname[kFNameRoom] = {};
  uint64_t ignored = 0;
  if (!Call(Export::kFNameConstructor, ignored, fname, name.c_str(), kFindNameOnly, nullptr))
    return 0;
  uint32_t comparisonIndex;
  std::memcpy(&comparisonIndex, fname, sizeof comparisonIndex);
  return comparisonIndex;
}

uint32_t Ue4ssHost::GetNameIndex(const host::UObject* object) {
  return ReadThrough<uint32_t>(Export::kGetNamePrivate, object, 0);
}

void Ue4ssHost::AddUObjectDeleteListener(host::IDeleteListener* listener) {
  if (!Fn(Export::kAddDeleteListener)) return;
  if (ListenerAdapter* adapter = listeners_.For(listener, true)) {
    uint64_t ignored = 0;
    Call(Export::kAddDeleteListener, ignored, adapter);
  }
}

void Ue4ssHost::RemoveUObjectDeleteListener(host::IDeleteListener* listener) {
  if (ListenerAdapter* adapter = listeners_.For(listener, false)) {
    uint64_t ignored = 0;
    Call(Export::kRemoveDeleteListener, ignored, adapter);
  }
}

void Ue4ssHost::FindAllOf(std::wstring_view className, std::vector<host::UObject*>& out) {
  out.clear();
  if (!Fn(Export::kFindAllOf)) return;
  const std::wstring name = Terminated(className);
  // The host appends to this vector and grows it with its own allocator.
  msvc::Vector<host::UObject*> found{};
  uint64_t ignored = 0;
  const bool ok = Call(Export::kFindAllOf, ignored, name.c_str(), &found);
  TakeHostVector(found, out);
  if (!ok) out.clear();
}

host::UObject* Ue4ssHost::FindObject(std::wstring_view path) {
  const std::wstring text = Terminated(path);
  uint64_t object = 0;
  if (!Call(Export::kFindObject, object, nullptr, nullptr, text.c_str(), false, nullptr))
    return nullptr;
  return reinterpret_cast<host::UObject*>(object);
}

uint32_t Ue4ssHost::GetObjectFlags(const host::UObject* object) {
  return ReadThrough<uint32_t>(Export::kGetObjectFlags, object, 0);
}

int32_t Ue4ssHost::GetInternalIndex(const host::UObject* object) {
  uint64_t index = 0;
  if (!object || !Call(Export::kGetInternalIndex, index, object)) return -1;
  return static_cast<int32_t>(static_cast<uint32_t>(index));
}

host::UClass* Ue4ssHost::GetClassPrivate(const host::UObject* object) {
  return ReadThrough<host::UClass*>(Export::kGetClassPrivate, object, nullptr);
}

std::wstring Ue4ssHost::GetName(const host::UObject* object) {
  return CallForString(Export::kObjectGetName, object);
}

host::FProperty* Ue4ssHost::GetPropertyByNameInChain(const host::UObject* object,
                                                     std::wstring_view name) {
  const std::wstring text = Terminated(name);
  uint64_t property = 0;
  if (!object || !Call(Export::kGetPropertyByNameInChain, property, object, text.c_str()))
    return nullptr;
  return reinterpret_cast<host::FProperty*>(property);
}

host::UFunction* Ue4ssHost::GetFunctionByNameInChain(const host::UObject* object,
                                                     std::wstring_view name) {
  const std::wstring text = Terminated(name);
  uint64_t function = 0;
  if (!object || !Call(Export::kGetFunctionByNameInChain, function, object, text.c_str()))
    return nullptr;
  return reinterpret_cast<host::UFunction*>(function);
}

uint16_t Ue4ssHost::GetParmsSize(const host::UFunction* function) {
  return ReadThrough<uint16_t>(Export::kGetParmsSize, function, 0);
}

host::FProperty* Ue4ssHost::GetFirstProperty(const host::UStruct* structure) {
  uint64_t property = 0;
  if (!structure || !Call(Export::kGetFirstProperty, property, structure)) return nullptr;
  return reinterpret_cast<host::FProperty*>(property);
}

host::FProperty* Ue4ssHost::GetNextFieldAsProperty(const host::FProperty* property) {
  uint64_t next = 0;
  if (!property || !Call(Export::kGetNextFieldAsProperty, next, property)) return nullptr;
  return reinterpret_cast<host::FProperty*>(next);
}

std::wstring Ue4ssHost::GetFieldName(const host::FProperty* property) {
  return CallForString(Export::kFieldGetName, property);
}

int32_t Ue4ssHost::GetOffset(const host::FProperty* property) {
  return ReadThrough<int32_t>(Export::kGetOffsetInternal, property, 0);
}

uint8_t Ue4ssHost::GetBoolByteOffset(const host::FProperty* property) {
  return ReadThrough<uint8_t>(Export::kBoolGetByteOffset, property, 0);
}

uint8_t Ue4ssHost::GetBoolFieldMask(const host::FProperty* property) {
  return ReadThrough<uint8_t>(Export::kBoolGetFieldMask, property, 0);
}

host::UStruct* Ue4ssHost::GetStructPropertyStruct(const host::FProperty* property) {
  return ReadThrough<host::UStruct*>(Export::kStructGetStruct, property, nullptr);
}

void Ue4ssHost::ProcessEvent(host::UObject* object, host::UFunction* function, void* params) {
  if (!object || !function) return;
  uint64_t ignored = 0;
  Call(Export::kProcessEvent, ignored, object, function, params);
}

bool Ue4ssHost::HasEngineAllocator() {
  const auto* gmalloc = static_cast<void* const*>(Fn(Export::kGMalloc));
  return gmalloc && *gmalloc && Fn(Export::kMalloc) && Fn(Export::kFree);
}

void* Ue4ssHost::Malloc(size_t size, uint32_t alignment) {
  uint64_t block = 0;
  if (!HasEngineAllocator() || !Call(Export::kMalloc, block, size, alignment)) return nullptr;
  return reinterpret_cast<void*>(block);
}

void Ue4ssHost::Free(void* block) {
  uint64_t ignored = 0;
  if (block && HasEngineAllocator()) Call(Export::kFree, ignored, block);
}

const wchar_t* LoadedDebugRuntime() {
  for (const wchar_t* name : {L"ucrtbased.dll", L"vcruntime140d.dll"})
    if (GetModuleHandleW(name)) return name;
  return nullptr;
}

host::IHost* FindUe4ssHost(std::string* whyNot) {
  HMODULE module = GetModuleHandleW(L"UE4SS.dll");
  if (!module) return nullptr;
  if (const wchar_t* runtime = LoadedDebugRuntime()) {
    if (whyNot)
      *whyNot = platform::WideToUtf8(runtime) +
                " is loaded: UE4SS is a debug build, whose strings and vectors are laid out "
                "differently from a release build's - the mod stays inactive (use a release "
                "build of UE4SS)";
    return nullptr;
  }
  static Ue4ssHost* const binding = [module] {
    auto* made = new Ue4ssHost(module);
    SetLogDevices(made->OutputDevices());
    for (const std::string& gap : made->Gaps()) Log(gap);
    return made;
  }();
  return binding;
}

}  // namespace kvr::ue4ss
