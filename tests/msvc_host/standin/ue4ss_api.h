// The mod host's classes and functions that the mod calls, declared as the host's public
// headers (UE4SS 3.0.1) declare them, each exported from the stand-in DLL. The compiler derives
// the decorated export names from these declarations; the mod's binding looks the same names up
// by hand, and a test compares the two.
#pragma once
#include <stdint.h>

#include "msvc_stl.h"

#define KVR_HOST_API __declspec(dllexport)

// A host build that lacks one export: FindObject is there, but not exported.
#if defined(KVR_STANDIN_LACKS_FIND_OBJECT)
#define KVR_FIND_OBJECT_API
#else
#define KVR_FIND_OBJECT_API KVR_HOST_API
#endif

namespace RC {

namespace Unreal {

enum EFindName { FNAME_Find, FNAME_Add, FNAME_Replace_Not_Safe_For_Threading };
enum EObjectFlags { RF_NoFlags = 0 };

class UClass;
class UFunction;
class FProperty;
class UScriptStruct;
class FMalloc;
struct ObjectSearcher;

class FName {
 public:
  KVR_HOST_API FName(const wchar_t* name, EFindName find_type = FNAME_Find,
                     void* function_address_override = nullptr);
  uint32_t ComparisonIndex;
  uint32_t Number;
};

// The engine's object header, read at the engine's offsets.
class UObjectBase {
 public:
  KVR_HOST_API UClass*& GetClassPrivate();
  KVR_HOST_API FName& GetNamePrivate();
  KVR_HOST_API EObjectFlags& GetObjectFlags();
  KVR_HOST_API int32_t GetInternalIndex();
};

class UObject : public UObjectBase {
 public:
  KVR_HOST_API std::wstring GetName() const;
  KVR_HOST_API FProperty* GetPropertyByNameInChain(const wchar_t* name);
  KVR_HOST_API UFunction* GetFunctionByNameInChain(const wchar_t* name);
  KVR_HOST_API void ProcessEvent(UFunction* function, void* params);
};

class UStruct : public UObject {
 public:
  KVR_HOST_API FProperty* GetFirstProperty();
};

class UFunction : public UStruct {
 public:
  KVR_HOST_API uint16_t& GetParmsSize();
};

class FField {
 public:
  KVR_HOST_API FProperty* GetNextFieldAsProperty();
  KVR_HOST_API std::wstring GetName();
};

class FProperty : public FField {
 public:
  KVR_HOST_API int32_t& GetOffset_Internal();
};

class FBoolProperty : public FProperty {
 public:
  KVR_HOST_API uint8_t& GetByteOffset();
  KVR_HOST_API uint8_t& GetFieldMask();
};

class FStructProperty : public FProperty {
 public:
  KVR_HOST_API UScriptStruct*& GetStruct();
};

class FUObjectDeleteListener {
 public:
  virtual ~FUObjectDeleteListener();
  virtual void NotifyUObjectDeleted(const UObjectBase* object, int32_t index) = 0;
  virtual void OnUObjectArrayShutdown() = 0;
};

class UObjectArray {
 public:
  KVR_HOST_API static void AddUObjectDeleteListener(FUObjectDeleteListener* listener);
  KVR_HOST_API static void RemoveUObjectDeleteListener(FUObjectDeleteListener* listener);
};

namespace UObjectGlobals {
KVR_HOST_API void FindAllOf(const wchar_t* class_name, std::vector<UObject*>& out_objects);
KVR_FIND_OBJECT_API UObject* FindObject(UClass* clazz, UObject* in_outer, const wchar_t* name,
                                        bool exact_class = false,
                                        ObjectSearcher* searcher = nullptr);
}  // namespace UObjectGlobals

namespace Hook {
using ProcessEventCallback = std::function<void(UObject*, UFunction*, void*)>;
KVR_HOST_API void RegisterProcessEventPreCallback(ProcessEventCallback callback);
}  // namespace Hook

class FMemory {
 public:
  KVR_HOST_API static void* Malloc(size_t size, uint32_t alignment = 0);
  KVR_HOST_API static void Free(void* block);
};

extern KVR_HOST_API FMalloc* GMalloc;

}  // namespace Unreal

namespace Output {

class OutputDevice {
 public:
  virtual ~OutputDevice() = default;
  virtual bool has_optional_arg() const { return false; }
  virtual void receive(std::wstring_view fmt) const = 0;
  virtual void receive_with_optional_arg(std::wstring_view fmt, int32_t optional_arg = 0) const {
    receive(fmt);
  }
  virtual void lock() const {}
  virtual void unlock() const {}

 protected:
  mutable bool m_is_device_ready{};
  void* m_formatter{};
};

using OutputDevicesContainerType = std::vector<std::unique_ptr<OutputDevice>>;

class DefaultTargets {
 public:
  KVR_HOST_API static OutputDevicesContainerType& get_default_devices_ref();
};

}  // namespace Output

// The mod base class (UE4SS 3.0.1): what the host calls through and reads.
class CppUserModBase {
 public:
  virtual ~CppUserModBase();
  virtual void on_update();
  virtual void on_unreal_init();
  virtual void on_ui_init();
  virtual void on_program_start();
  virtual void on_lua_start(void*, void*, void*, void*, void*);
  virtual void on_lua_start(void*, void*, void*, void*);
  virtual void on_lua_stop(void*, void*, void*, void*, void*);
  virtual void on_lua_stop(void*, void*, void*, void*);
  virtual void on_dll_load(std::wstring_view dll_name);
  virtual void render_tab();

 protected:
  std::vector<void*> GUITabs;

 public:
  std::wstring ModName;
  std::wstring ModVersion;
  std::wstring ModDescription;
  std::wstring ModAuthors;
  std::wstring ModIntendedSDKVersion;
};

}  // namespace RC
