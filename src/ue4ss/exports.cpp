#include "ue4ss/exports.h"

#include <string>

namespace kvr::ue4ss {

namespace {

// In Export order.
const ExportInfo kExports[kExportCount] = {
    {"??0FName@Unreal@RC@@QEAA@PEB_WW4EFindName@12@PEAX@Z",
     "RC::Unreal::FName::FName(const wchar_t*, EFindName, void*)",
     "finding \"ReceiveTick\", so the per-frame update"},
    {"?RegisterProcessEventPreCallback@Hook@Unreal@RC@@YAXV?$function@$$A6AXPEAVUObject@Unreal@RC@@"
     "PEAVUFunction@23@PEAX@Z@std@@@Z",
     "RC::Unreal::Hook::RegisterProcessEventPreCallback(std::function<void(UObject*, UFunction*, "
     "void*)>)",
     "the ProcessEvent pre-callback, so the per-frame update"},
    {"?get_default_devices_ref@DefaultTargets@Output@RC@@SAAEAV?$vector@V?$unique_ptr@"
     "VOutputDevice@"
     "Output@RC@@U?$default_delete@VOutputDevice@Output@RC@@@std@@@std@@V?$allocator@V?$unique_ptr@"
     "VOutputDevice@Output@RC@@U?$default_delete@VOutputDevice@Output@RC@@@std@@@std@@@2@@std@@XZ",
     "RC::Output::DefaultTargets::get_default_devices_ref()",
     "writing to UE4SS's log (lines go to the debugger output)"},
    {"?AddUObjectDeleteListener@UObjectArray@Unreal@RC@@SAXPEAVFUObjectDeleteListener@23@@Z",
     "RC::Unreal::UObjectArray::AddUObjectDeleteListener(FUObjectDeleteListener*)",
     "hearing of deleted objects and of the game's exit"},
    {"?RemoveUObjectDeleteListener@UObjectArray@Unreal@RC@@SAXPEAVFUObjectDeleteListener@23@@Z",
     "RC::Unreal::UObjectArray::RemoveUObjectDeleteListener(FUObjectDeleteListener*)",
     "hearing of deleted objects and of the game's exit"},
    {"?FindAllOf@UObjectGlobals@Unreal@RC@@YAXPEB_WAEAV?$vector@PEAVUObject@Unreal@RC@@V?$"
     "allocator@"
     "PEAVUObject@Unreal@RC@@@std@@@std@@@Z",
     "RC::Unreal::UObjectGlobals::FindAllOf(const wchar_t*, std::vector<UObject*>&)",
     "finding thugs, the player and navmeshes"},
    {"?FindObject@UObjectGlobals@Unreal@RC@@YAPEAVUObject@23@PEAVUClass@23@PEAV423@PEB_W_"
     "NPEAUObjectSearcher@23@@Z",
     "RC::Unreal::UObjectGlobals::FindObject(UClass*, UObject*, const wchar_t*, bool, "
     "ObjectSearcher*)",
     "finding the navigation system"},
    {"?GetClassPrivate@UObjectBase@Unreal@RC@@QEAAAEAPEAVUClass@23@XZ",
     "RC::Unreal::UObjectBase::GetClassPrivate()", "reading objects by reflection"},
    {"?GetNamePrivate@UObjectBase@Unreal@RC@@QEAAAEAVFName@23@XZ",
     "RC::Unreal::UObjectBase::GetNamePrivate()",
     "recognising ReceiveTick, so the per-frame update"},
    {"?GetObjectFlags@UObjectBase@Unreal@RC@@QEAAAEAW4EObjectFlags@23@XZ",
     "RC::Unreal::UObjectBase::GetObjectFlags()",
     "telling class defaults and archetypes from live objects"},
    {"?GetInternalIndex@UObjectBase@Unreal@RC@@QEAAHXZ",
     "RC::Unreal::UObjectBase::GetInternalIndex()", "object indices"},
    {"?GetName@UObject@Unreal@RC@@QEBA?AV?$basic_string@_WU?$char_traits@_W@std@@V?$allocator@_W@2@"
     "@std@@XZ",
     "RC::Unreal::UObject::GetName() const", "object names"},
    {"?GetPropertyByNameInChain@UObject@Unreal@RC@@QEAAPEAVFProperty@23@PEB_W@Z",
     "RC::Unreal::UObject::GetPropertyByNameInChain(const wchar_t*)",
     "reading objects by reflection"},
    {"?GetFunctionByNameInChain@UObject@Unreal@RC@@QEAAPEAVUFunction@23@PEB_W@Z",
     "RC::Unreal::UObject::GetFunctionByNameInChain(const wchar_t*)",
     "calling engine functions (navigation queries, camera, avoidance)"},
    {"?ProcessEvent@UObject@Unreal@RC@@QEAAXPEAVUFunction@23@PEAX@Z",
     "RC::Unreal::UObject::ProcessEvent(UFunction*, void*)",
     "calling engine functions (navigation queries, camera, avoidance)"},
    {"?GetParmsSize@UFunction@Unreal@RC@@QEAAAEAGXZ", "RC::Unreal::UFunction::GetParmsSize()",
     "calling engine functions (navigation queries, camera, avoidance)"},
    {"?GetFirstProperty@UStruct@Unreal@RC@@QEAAPEAVFProperty@23@XZ",
     "RC::Unreal::UStruct::GetFirstProperty()",
     "calling engine functions (navigation queries, camera, avoidance)"},
    {"?GetNextFieldAsProperty@FField@Unreal@RC@@QEAAPEAVFProperty@23@XZ",
     "RC::Unreal::FField::GetNextFieldAsProperty()",
     "calling engine functions (navigation queries, camera, avoidance)"},
    {"?GetName@FField@Unreal@RC@@QEAA?AV?$basic_string@_WU?$char_traits@_W@std@@V?$allocator@_W@2@@"
     "std@@XZ",
     "RC::Unreal::FField::GetName()",
     "calling engine functions (navigation queries, camera, avoidance)"},
    {"?GetOffset_Internal@FProperty@Unreal@RC@@QEAAAEAHXZ",
     "RC::Unreal::FProperty::GetOffset_Internal()", "reading objects by reflection"},
    {"?GetByteOffset@FBoolProperty@Unreal@RC@@QEAAAEAEXZ",
     "RC::Unreal::FBoolProperty::GetByteOffset()", "reading bool properties"},
    {"?GetFieldMask@FBoolProperty@Unreal@RC@@QEAAAEAEXZ",
     "RC::Unreal::FBoolProperty::GetFieldMask()", "reading bool properties"},
    {"?GetStruct@FStructProperty@Unreal@RC@@QEAAAEAPEAVUScriptStruct@23@XZ",
     "RC::Unreal::FStructProperty::GetStruct()", "reading struct properties"},
    {"?GMalloc@Unreal@RC@@3PEAVFMalloc@12@EA", "RC::Unreal::GMalloc",
     "the engine allocator, so writing reshaped routes back"},
    {"?Malloc@FMemory@Unreal@RC@@SAPEAX_KI@Z", "RC::Unreal::FMemory::Malloc(size_t, uint32)",
     "the engine allocator, so writing reshaped routes back"},
    {"?Free@FMemory@Unreal@RC@@SAXPEAX@Z", "RC::Unreal::FMemory::Free(void*)",
     "the engine allocator, so writing reshaped routes back"},
};

}  // namespace

const ExportInfo& InfoOf(Export e) {
  return kExports[static_cast<size_t>(e)];
}

std::string MissingExportLine(Export e) {
  const ExportInfo& info = InfoOf(e);
  return std::string("UE4SS.dll does not export ") + info.declared + " (" + info.decorated +
         "): " + info.needed + " is off";
}

}  // namespace kvr::ue4ss
