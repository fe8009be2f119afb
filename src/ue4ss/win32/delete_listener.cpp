// The mod's delete listener as the engine's FUObjectDeleteListener: an MSVC object whose table
// has, by slot, 0 the destructor, 1 NotifyUObjectDeleted(const UObjectBase*, int32),
// 2 OnUObjectArrayShutdown(), and in some engine versions 3 GetAllocatedSize(). Spare slots
// answer 0 for any later addition.
#include "ue4ss/win32/host_parts.h"

namespace kvr::ue4ss {

struct ListenerVTable {
  ListenerAdapter* (*destroy)(ListenerAdapter* self, uint32_t flags);
  void (*notifyDeleted)(ListenerAdapter* self, const host::UObject* object, int32_t index);
  void (*arrayShutdown)(ListenerAdapter* self);
  size_t (*allocatedSize)(const ListenerAdapter* self);
  size_t (*spare[4])(const ListenerAdapter* self);
};

struct ListenerAdapter {
  const ListenerVTable* vtable;
  host::IDeleteListener* target;
};

namespace {

ListenerAdapter* Destroy(ListenerAdapter* self, uint32_t) {
  return self;  // never freed: see ListenerAdapters
}

// The engine is above these frames: nothing may unwind into it.
void NotifyDeleted(ListenerAdapter* self, const host::UObject* object, int32_t index) {
  try {
    self->target->NotifyUObjectDeleted(object, index);
  } catch (...) {
  }
}

void ArrayShutdown(ListenerAdapter* self) {
  try {
    self->target->OnUObjectArrayShutdown();
  } catch (...) {
  }
}

size_t NoMemory(const ListenerAdapter*) {
  return 0;
}

const ListenerVTable kListenerTable{&Destroy,
                                    &NotifyDeleted,
                                    &ArrayShutdown,
                                    &NoMemory,
                                    {&NoMemory, &NoMemory, &NoMemory, &NoMemory}};

}  // namespace

ListenerAdapter* ListenerAdapters::For(host::IDeleteListener* listener, bool create) {
  if (!listener) return nullptr;
  std::lock_guard<std::mutex> lock(lock_);
  for (ListenerAdapter* adapter : adapters_) {
    if (adapter && adapter->target == listener) return adapter;
  }
  if (!create) return nullptr;
  for (ListenerAdapter*& adapter : adapters_) {
    if (!adapter) return adapter = new ListenerAdapter{&kListenerTable, listener};
  }
  return nullptr;
}

}  // namespace kvr::ue4ss
