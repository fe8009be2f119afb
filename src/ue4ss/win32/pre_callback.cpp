// The ProcessEvent pre-callback as an MSVC std::function<void(UObject*, UFunction*, void*)>.
//
// The host copies, moves and destroys it through the implementation object's table, and calls
// it with the address of each argument. The implementation is two pointers, small enough to
// live in the function's own storage, so copies and moves never allocate and destroying one
// frees nothing.
#include <new>

#include "ue4ss/win32/host_parts.h"

namespace kvr::ue4ss {

namespace {

struct PreCallbackImpl;
using DoCall = void (*)(PreCallbackImpl* self, host::UObject** object, host::UFunction** function,
                        void** params);

struct PreCallbackImpl {
  const msvc::FunctionImplTable<DoCall>* vtable;
  const host::ProcessEventCallback* target;
};

// What the host's type queries see: a type_info laid out as MSVC's (table pointer, name cache,
// decorated name). Its table is never used; nothing deletes a type_info.
struct TypeInfoLayout {
  const void* vtable;
  const char* undecoratedName;
  char decoratedName[32];
};
const TypeInfoLayout kPreCallbackType{nullptr, nullptr, ".?AUKvrProcessEventCallback@@"};

void* CopyInto(const void* self, void* where) {
  return new (where) PreCallbackImpl(*static_cast<const PreCallbackImpl*>(self));
}

void* MoveInto(void* self, void* where) {
  return CopyInto(self, where);
}

void Call(PreCallbackImpl* self, host::UObject** object, host::UFunction** function,
          void** params) {
  // The host is above this frame: nothing may unwind into it.
  try {
    (*self->target)(*object, *function, *params);
  } catch (...) {
  }
}

const void* TargetType(const void*) {
  return &kPreCallbackType;
}

void DeleteThis(void*, bool) {
  // Trivially destructible, never allocated on its own: nothing to give back.
}

const void* Get(const void* self) {
  return static_cast<const PreCallbackImpl*>(self)->target;
}

const msvc::FunctionImplTable<DoCall> kPreCallbackTable{&CopyInto,   &MoveInto,   &Call,
                                                        &TargetType, &DeleteThis, &Get};

static_assert(sizeof(PreCallbackImpl) <= sizeof(msvc::Function::storage));

}  // namespace

void MakePreCallbackArgument(msvc::Function& out, host::ProcessEventCallback callback) {
  const auto* target = new host::ProcessEventCallback(std::move(callback));
  out = {};
  out.impl = new (out.storage) PreCallbackImpl{&kPreCallbackTable, target};
}

}  // namespace kvr::ue4ss
