#include "sim/world.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "sim/sim_clock.h"

namespace kvr::sim {

namespace {

constexpr std::align_val_t kObjectAlignment{16};

unsigned char* AllocateBlock(int32_t size) {
  const size_t bytes = (static_cast<size_t>(std::max<int32_t>(size, sizeof(ObjectHeader))) + 15) &
                       ~static_cast<size_t>(15);
  auto* memory = static_cast<unsigned char*>(::operator new(bytes, kObjectAlignment));
  std::memset(memory, 0, bytes);
  return memory;
}

void FreeBlock(unsigned char* memory) {
  ::operator delete(memory, kObjectAlignment);
}

// The nearest class default object along the chain, to copy initial values from.
const unsigned char* DefaultsFor(const Class& cls, int32_t& size) {
  for (const Class* c = &cls; c; c = static_cast<const Class*>(c->super)) {
    if (c->defaultObject) {
      size = c->size;
      return reinterpret_cast<const unsigned char*>(c->defaultObject);
    }
  }
  return nullptr;
}

}  // namespace

World::World(bool useSimulatedClock) : ownsClock_(useSimulatedClock) {
  if (ownsClock_) InstallSimulatedClock();
  classClass_ = &DefineClass(L"/Script/CoreUObject", L"Class", nullptr);
  structClass_ = &DefineClass(L"/Script/CoreUObject", L"ScriptStruct", nullptr);
  functionClass_ = &DefineClass(L"/Script/CoreUObject", L"Function", nullptr);
  for (const auto& c : classes_) c->header.cls = classClass_;
  vector_ = &DefineStruct(L"/Script/CoreUObject", L"Vector");
  vector_->AddFloat(L"X");
  vector_->AddFloat(L"Y");
  vector_->AddFloat(L"Z");
  rotator_ = &DefineStruct(L"/Script/CoreUObject", L"Rotator");
  rotator_->AddFloat(L"Pitch");
  rotator_->AddFloat(L"Yaw");
  rotator_->AddFloat(L"Roll");
}

World::~World() {
  Shutdown();
  if (host::Host() == this) host::SetHost(nullptr);
  if (ownsClock_) UninstallSimulatedClock();
  // Engine-owned blocks nobody freed (path arrays of objects that are gone) go with the engine.
  for (const auto& [block, size] : allocations_) {
    ::operator delete (block, std::align_val_t{kEngineAllocatorAlignment});
  }
}

namespace {

// The engine keeps a trailing "_<number>" out of its name table: "Thug_7" is the entry "Thug"
// with number 8 (0 meaning none). So a level that spawns thugs for hours adds no entries, as a
// game does. Numbers with a leading zero, or too large, stay part of the text, as there.
uint32_t SplitNumber(std::wstring_view& name) {
  const size_t underscore = name.rfind(L'_');
  if (underscore == std::wstring_view::npos || underscore == 0) return 0;
  const std::wstring_view digits = name.substr(underscore + 1);
  if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits[0] == L'0')) return 0;
  uint32_t value = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return 0;
    value = value * 10 + static_cast<uint32_t>(c - L'0');
  }
  name = name.substr(0, underscore);
  return value + 1;
}

}  // namespace

void World::InitHeader(ObjectHeader& header, Class* cls, std::wstring_view name, uint32_t flags) {
  header.cls = cls;
  header.flags = flags;
  header.nameNumber = SplitNumber(name);
  header.nameIndex = names_.Add(name);
  header.internalIndex = -1;
}

Struct& World::DefineStruct(std::wstring_view package, std::wstring_view name) {
  auto s = std::make_unique<Struct>();
  InitHeader(s->header, structClass_, name, 0);
  s->name = std::wstring(name);
  std::lock_guard<std::mutex> lock(classesMutex_);
  structs_.push_back(std::move(s));
  return *structs_.back();
}

Class& World::DefineClass(std::wstring_view package, std::wstring_view name, Class* super) {
  auto c = std::make_unique<Class>();
  InitHeader(c->header, classClass_, name, 0);
  c->name = std::wstring(name);
  c->package = std::wstring(package);
  c->super = super;
  c->size = super ? super->size : static_cast<int32_t>(sizeof(ObjectHeader));
  c->alignment = 8;
  Class& result = *c;
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    byPath_[result.package + L"." + result.name] = reinterpret_cast<UObject*>(&result);
  }
  std::lock_guard<std::mutex> lock(classesMutex_);
  classes_.push_back(std::move(c));
  return result;
}

Function& World::DefineFunction(Class& owner, std::wstring_view name, NativeBody body) {
  auto f = std::make_unique<Function>();
  InitHeader(f->header, functionClass_, name, 0);
  f->name = std::wstring(name);
  f->body = std::move(body);
  std::lock_guard<std::mutex> lock(classesMutex_);
  owner.functions.push_back(std::move(f));
  return *owner.functions.back();
}

UObject* World::CreateDefaultObject(Class& cls) {
  SpawnOptions options;
  options.flags = host::kObjectFlagClassDefault;
  options.outerPath = cls.package;
  UObject* object = Spawn(cls, L"Default__" + cls.name, options);
  if (object) cls.defaultObject = object;
  return object;
}

Class* World::FindClass(std::wstring_view name) const {
  std::lock_guard<std::mutex> lock(classesMutex_);
  for (const auto& c : classes_) {
    if (c->name == name) return c.get();
  }
  return nullptr;
}

Struct* World::FindStruct(std::wstring_view name) const {
  std::lock_guard<std::mutex> lock(classesMutex_);
  for (const auto& s : structs_) {
    if (s->name == name) return s.get();
  }
  return nullptr;
}

UObject* World::Spawn(Class& cls, std::wstring_view name, const SpawnOptions& options) {
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    if (shutDown_) return nullptr;
  }
  std::wstring path =
      (options.outerPath.empty() ? levelPath_ : options.outerPath) + L"." + std::wstring(name);
  unsigned char* memory = AllocateBlock(cls.size);
  int32_t defaultsSize = 0;
  if (const unsigned char* defaults = DefaultsFor(cls, defaultsSize)) {
    const size_t header = sizeof(ObjectHeader);
    if (static_cast<size_t>(defaultsSize) > header) {
      std::memcpy(memory + header, defaults + header, static_cast<size_t>(defaultsSize) - header);
    }
  }
  InitHeader(*reinterpret_cast<ObjectHeader*>(memory), &cls, name, options.flags);
  UObject* object = AddToArray(memory, std::move(path), options);
  if (!object) FreeBlock(memory);
  return object;
}

UObject* World::AddToArray(unsigned char* memory, std::wstring path, const SpawnOptions& options) {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  if (shutDown_ || byPath_.count(path)) return nullptr;
  int32_t index;
  if (!freeSlots_.empty()) {
    index = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    index = static_cast<int32_t>(slots_.size());
    slots_.emplace_back();
  }
  reinterpret_cast<ObjectHeader*>(memory)->internalIndex = index;
  auto* object = reinterpret_cast<UObject*>(memory);
  byPath_[path] = object;
  liveIndex_[memory] = index;
  slots_[static_cast<size_t>(index)] =
      Slot{memory, std::move(path), options.ticks, false, options.hidden};
  return object;
}

void World::Reveal(UObject* object) {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  const int32_t index = LiveSlotOf(object);
  if (index >= 0) slots_[static_cast<size_t>(index)].hidden = false;
}

int32_t World::LiveSlotOf(const UObject* object) const {
  const auto it = liveIndex_.find(object);
  return it == liveIndex_.end() ? -1 : it->second;
}

bool World::Destroy(UObject* object) {
  int32_t index;
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    index = LiveSlotOf(object);
    // Class default objects live as long as their class (new objects copy their values).
    if (index < 0 || (Header(object)->flags & host::kObjectFlagClassDefault)) return false;
    Slot& slot = slots_[static_cast<size_t>(index)];
    byPath_.erase(slot.path);
    liveIndex_.erase(object);
    slot = Slot{};
  }
  // As in the engine, every listener hears of the object before its memory can go: a listener
  // that is kept waiting (on a lock a running frame holds) must not find it already freed by the
  // next frame's collection. The slot is not reused before then either.
  NotifyDeleted(object, index);
  std::lock_guard<std::mutex> lock(objectsMutex_);
  pendingFree_.push_back(reinterpret_cast<unsigned char*>(object));
  releasedSlots_.push_back(index);
  return true;
}

bool World::IsAlive(const UObject* object) const {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  return LiveSlotOf(object) >= 0;
}

UObject* World::ObjectAt(int32_t index) const {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  if (index < 0 || static_cast<size_t>(index) >= slots_.size()) return nullptr;
  return reinterpret_cast<UObject*>(slots_[static_cast<size_t>(index)].memory);
}

size_t World::LiveObjectCount() const {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  return liveIndex_.size();
}

std::wstring World::PathOf(const UObject* object) const {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  const int32_t index = LiveSlotOf(object);
  return index < 0 ? std::wstring() : slots_[static_cast<size_t>(index)].path;
}

void World::SetTicking(UObject* object, bool ticks) {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  const int32_t index = LiveSlotOf(object);
  if (index >= 0) slots_[static_cast<size_t>(index)].ticks = ticks;
}

void World::MarkPendingKill(UObject* object) {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  const int32_t index = LiveSlotOf(object);
  if (index >= 0 && !(Header(object)->flags & host::kObjectFlagClassDefault))
    slots_[static_cast<size_t>(index)].pendingKill = true;
}

bool World::IsPendingKill(const UObject* object) const {
  std::lock_guard<std::mutex> lock(objectsMutex_);
  const int32_t index = LiveSlotOf(object);
  return index >= 0 && slots_[static_cast<size_t>(index)].pendingKill;
}

bool World::SetBool(UObject* object, std::wstring_view name, bool value) const {
  const Property* p =
      object && Header(object)->cls ? Header(object)->cls->FindInChain(name) : nullptr;
  if (!p || p->kind != PropertyKind::Bool) return false;
  unsigned char& byte = reinterpret_cast<unsigned char*>(object)[p->offset + p->byteOffset];
  byte = value ? static_cast<unsigned char>(byte | p->fieldMask)
               : static_cast<unsigned char>(byte & ~p->fieldMask);
  return true;
}

bool World::GetBool(const UObject* object, std::wstring_view name) const {
  const Property* p =
      object && Header(object)->cls ? Header(object)->cls->FindInChain(name) : nullptr;
  if (!p || p->kind != PropertyKind::Bool) return false;
  const unsigned char byte =
      reinterpret_cast<const unsigned char*>(object)[p->offset + p->byteOffset];
  return (byte & p->fieldMask) != 0;
}

void World::CollectGarbage() {
  std::vector<unsigned char*> memory;
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    memory.swap(pendingFree_);
    freeSlots_.insert(freeSlots_.end(), releasedSlots_.begin(), releasedSlots_.end());
    releasedSlots_.clear();
  }
  for (unsigned char* block : memory) FreeBlock(block);
}

}  // namespace kvr::sim
