// The functions and the one variable the mod uses from the mod host's DLL (UE4SS.dll), by the
// names Microsoft's C++ compiler gives them. They are looked up one by one at start-up, so a
// host build that lacks one turns off only what needs it, and says so in the log.
//
// Written against UE4SS 3.0.1 (its Unreal wrapper classes are exported whole, so their inline
// members are exported too). Newer hosts changed some signatures, e.g. the ProcessEvent
// callback registration, and their names differ accordingly.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kvr::ue4ss {

enum class Export : uint8_t {
  kFNameConstructor,
  kRegisterProcessEventPreCallback,
  kDefaultOutputDevices,
  kAddDeleteListener,
  kRemoveDeleteListener,
  kFindAllOf,
  kFindObject,
  kGetClassPrivate,
  kGetNamePrivate,
  kGetObjectFlags,
  kGetInternalIndex,
  kObjectGetName,
  kGetPropertyByNameInChain,
  kGetFunctionByNameInChain,
  kProcessEvent,
  kGetParmsSize,
  kGetFirstProperty,
  kGetNextFieldAsProperty,
  kFieldGetName,
  kGetOffsetInternal,
  kBoolGetByteOffset,
  kBoolGetFieldMask,
  kStructGetStruct,
  kGMalloc,
  kMalloc,
  kFree,
  kCount,
};

inline constexpr size_t kExportCount = static_cast<size_t>(Export::kCount);

struct ExportInfo {
  const char* decorated;  // the name the DLL exports
  const char* declared;   // the declaration in the host's own terms
  const char* needed;     // what of the mod's work needs it
};

const ExportInfo& InfoOf(Export e);

// The log line for an export the host does not have: what is missing and what is off.
std::string MissingExportLine(Export e);

}  // namespace kvr::ue4ss
