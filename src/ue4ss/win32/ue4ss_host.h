// The host seam over the real mod host, UE4SS.dll, built with MSVC.
//
// Every export the mod uses is looked up by its decorated name when the binding is made (see
// ue4ss/exports.h); one the host lacks turns off what needs it, and says so in the log. Calls go
// through the MSVC-ABI catching frame (msvc_call.h), so a call the host answers with an
// exception comes back as the seam's neutral answer (null, 0, empty) and is logged once per
// export. The standard-library objects crossing over are laid out as MSVC's (host/msvc_std.h),
// and memory the host hands over goes back to the host's heap (host_memory.h).
#pragma once
#include <atomic>

#include "host/api/host.h"
#include "ue4ss/exports.h"
#include "ue4ss/win32/host_parts.h"

namespace kvr::ue4ss {

class Ue4ssHost final : public host::IHost {
 public:
  // Resolves every export of the loaded host module `module` (an HMODULE).
  explicit Ue4ssHost(void* module);
  Ue4ssHost(const Ue4ssHost&) = delete;
  Ue4ssHost& operator=(const Ue4ssHost&) = delete;

  // What is off in this host, one log line each; empty when everything was found.
  const std::vector<std::string>& Gaps() const { return gaps_; }

  void RegisterProcessEventPreCallback(host::ProcessEventCallback callback) override;
  const LogDeviceList* OutputDevices() override { return devices_.List(); }
  uint32_t FindNameIndex(std::wstring_view text) override;
  uint32_t GetNameIndex(const host::UObject* object) override;
  void AddUObjectDeleteListener(host::IDeleteListener* listener) override;
  void RemoveUObjectDeleteListener(host::IDeleteListener* listener) override;
  void FindAllOf(std::wstring_view className, std::vector<host::UObject*>& out) override;
  host::UObject* FindObject(std::wstring_view path) override;
  uint32_t GetObjectFlags(const host::UObject* object) override;
  int32_t GetInternalIndex(const host::UObject* object) override;
  host::UClass* GetClassPrivate(const host::UObject* object) override;
  std::wstring GetName(const host::UObject* object) override;
  host::FProperty* GetPropertyByNameInChain(const host::UObject* object,
                                            std::wstring_view name) override;
  host::UFunction* GetFunctionByNameInChain(const host::UObject* object,
                                            std::wstring_view name) override;
  uint16_t GetParmsSize(const host::UFunction* function) override;
  host::FProperty* GetFirstProperty(const host::UStruct* structure) override;
  host::FProperty* GetNextFieldAsProperty(const host::FProperty* property) override;
  std::wstring GetFieldName(const host::FProperty* property) override;
  int32_t GetOffset(const host::FProperty* property) override;
  uint8_t GetBoolByteOffset(const host::FProperty* property) override;
  uint8_t GetBoolFieldMask(const host::FProperty* property) override;
  host::UStruct* GetStructPropertyStruct(const host::FProperty* property) override;
  void ProcessEvent(host::UObject* object, host::UFunction* function, void* params) override;
  bool HasEngineAllocator() override;
  void* Malloc(size_t size, uint32_t alignment) override;
  void Free(void* block) override;

 private:
  const void* Fn(Export e) const { return exports_[static_cast<size_t>(e)]; }
  // Calls `e` with `args`; false (and one log line per export) when the host threw.
  template <typename... Args>
  bool Call(Export e, uint64_t& result, Args... args);
  // Calls a member returning a reference and reads what it refers to; `fallback` for a null
  // object, a missing export or a throw.
  template <typename T>
  T ReadThrough(Export e, const void* self, T fallback);
  // Calls a member returning std::wstring (through the hidden result pointer).
  std::wstring CallForString(Export e, const void* self);

  const void* exports_[kExportCount] = {};
  std::atomic<bool> threw_[kExportCount] = {};
  std::vector<std::string> gaps_;
  HostDevices devices_;
  ListenerAdapters listeners_;
};

// The process's binding when UE4SS.dll is loaded, null otherwise. Made once and kept for the
// life of the process (the host holds on to what the binding registered); the first call also
// logs what this host build lacks.
// The binding over UE4SS.dll (one per process), or null when it is not loaded. Null too, with
// `whyNot` set to one line, while the process has a debug C runtime loaded: a debug-built host
// lays out its strings and vectors differently, and the binding would misread every one.
host::IHost* FindUe4ssHost(std::string* whyNot = nullptr);

// "ucrtbased.dll" or "vcruntime140d.dll" when one of them is loaded, else null.
const wchar_t* LoadedDebugRuntime();

}  // namespace kvr::ue4ss
