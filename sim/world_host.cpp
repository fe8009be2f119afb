// The simulated engine as the mod's host: names, object queries, reflection, ProcessEvent and the
// delete listeners.
#include <algorithm>

#include "sim/sim_clock.h"
#include "sim/world.h"

namespace kvr::sim {

namespace {

const Property* AsProperty(const host::FProperty* p) {
  return reinterpret_cast<const Property*>(p);
}
host::FProperty* ToHandle(const Property* p) {
  return reinterpret_cast<host::FProperty*>(const_cast<Property*>(p));
}

}  // namespace

void World::RegisterProcessEventPreCallback(host::ProcessEventCallback callback) {
  std::lock_guard<std::mutex> lock(callbacksMutex_);
  auto next = std::make_shared<Callbacks>(*callbacks_);
  next->push_back(std::move(callback));
  callbacks_ = std::move(next);
}

const LogDeviceList* World::OutputDevices() {
  return devices_.load();
}

host::IHost::ClockFn World::SteadyClock() {
  return ownsClock_ ? &SimulatedNanoseconds : nullptr;
}

void World::SetOutputDevices(const LogDeviceList* devices) {
  devices_.store(devices ? devices : &defaultDevices_);
}

uint32_t World::GetNameIndex(const UObject* object) {
  return object ? Header(object)->nameIndex : 0;
}

void World::AddUObjectDeleteListener(host::IDeleteListener* listener) {
  if (!listener) return;
  std::lock_guard<std::recursive_mutex> lock(listenersMutex_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
    listeners_.push_back(listener);
  }
}

void World::RemoveUObjectDeleteListener(host::IDeleteListener* listener) {
  // Waits for a notification running on another thread, so a removed listener is never called
  // afterwards; a listener may remove itself from inside its own notification.
  std::lock_guard<std::recursive_mutex> lock(listenersMutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void World::NotifyDeleted(const UObject* object, int32_t index) {
  std::lock_guard<std::recursive_mutex> lock(listenersMutex_);
  const std::vector<host::IDeleteListener*> snapshot = listeners_;
  for (host::IDeleteListener* listener : snapshot) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
    listener->NotifyUObjectDeleted(object, index);
  }
}

void World::FindAllOf(std::wstring_view className, std::vector<UObject*>& out) {
  out.clear();
  const Class* cls = FindClass(className);
  if (!cls) return;
  const bool nulls = nullsInFindAllOf_.load();
  if (nulls) out.push_back(nullptr);
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    for (const Slot& slot : slots_) {
      if (!slot.memory || slot.pendingKill || slot.hidden) continue;
      const Class* objectClass = reinterpret_cast<const ObjectHeader*>(slot.memory)->cls;
      if (objectClass && objectClass->IsChildOf(cls)) {
        out.push_back(reinterpret_cast<UObject*>(slot.memory));
      }
    }
  }
  if (nulls) out.push_back(nullptr);
}

UObject* World::FindObject(std::wstring_view path) {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  const auto it = byPath_.find(std::wstring(path));
  if (it == byPath_.end()) return nullptr;
  const int32_t index = LiveSlotOf(it->second);  // classes are found too, and have no slot
  return index >= 0 && slots_[static_cast<size_t>(index)].hidden ? nullptr : it->second;
}

uint32_t World::GetObjectFlags(const UObject* object) {
  return object ? Header(object)->flags : 0;
}

int32_t World::GetInternalIndex(const UObject* object) {
  return object ? Header(object)->internalIndex : -1;
}

host::UClass* World::GetClassPrivate(const UObject* object) {
  return object ? reinterpret_cast<host::UClass*>(Header(object)->cls) : nullptr;
}

std::wstring World::GetName(const UObject* object) {
  if (!object) return std::wstring();
  const ObjectHeader& header = *Header(object);
  std::wstring name = names_.Text(header.nameIndex);
  if (header.nameNumber > 0) name += L"_" + std::to_wstring(header.nameNumber - 1);
  return name;
}

host::FProperty* World::GetPropertyByNameInChain(const UObject* object, std::wstring_view name) {
  const Class* cls = object ? Header(object)->cls : nullptr;
  return cls ? ToHandle(cls->FindInChain(name)) : nullptr;
}

host::UFunction* World::GetFunctionByNameInChain(const UObject* object, std::wstring_view name) {
  const Class* cls = object ? Header(object)->cls : nullptr;
  return cls ? reinterpret_cast<host::UFunction*>(cls->FindFunctionInChain(name)) : nullptr;
}

uint16_t World::GetParmsSize(const host::UFunction* function) {
  return function ? reinterpret_cast<const Function*>(function)->parmsSize : 0;
}

host::FProperty* World::GetFirstProperty(const host::UStruct* structure) {
  if (!structure) return nullptr;
  const auto* s = reinterpret_cast<const Struct*>(structure);
  return s->properties.empty() ? nullptr : ToHandle(s->properties.front().get());
}

host::FProperty* World::GetNextFieldAsProperty(const host::FProperty* property) {
  return property ? ToHandle(AsProperty(property)->next) : nullptr;
}

std::wstring World::GetFieldName(const host::FProperty* property) {
  return property ? AsProperty(property)->name : std::wstring();
}

int32_t World::GetOffset(const host::FProperty* property) {
  return property ? AsProperty(property)->offset : 0;
}

uint8_t World::GetBoolByteOffset(const host::FProperty* property) {
  return property ? AsProperty(property)->byteOffset : 0;
}

uint8_t World::GetBoolFieldMask(const host::FProperty* property) {
  return property ? AsProperty(property)->fieldMask : 0;
}

host::UStruct* World::GetStructPropertyStruct(const host::FProperty* property) {
  if (!property || AsProperty(property)->kind != PropertyKind::Struct) return nullptr;
  return reinterpret_cast<host::UStruct*>(AsProperty(property)->structType);
}

void World::ProcessEvent(UObject* object, host::UFunction* function, void* params) {
  std::shared_ptr<const Callbacks> callbacks;
  {
    std::lock_guard<std::mutex> lock(callbacksMutex_);
    callbacks = callbacks_;
  }
  for (const host::ProcessEventCallback& callback : *callbacks) callback(object, function, params);
  if (!object || !function) return;
  const auto& f = *reinterpret_cast<const Function*>(function);
  if (!f.body || (!params && f.parmsSize > 0)) return;
  NativeCall call{*this, object, f, params};
  f.body(call);
}

}  // namespace kvr::sim
