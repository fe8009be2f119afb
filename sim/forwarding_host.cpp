#include "sim/forwarding_host.h"

#include <cstdint>

namespace kvr::sim {

namespace {

// Never mapped in a user process; stands for an object whose memory is gone. Read through a
// volatile copy so the compiler neither folds the access nor warns about it.
volatile uintptr_t g_corruptAddress = 0x40;
host::UObject* const kCorruptObject =
    reinterpret_cast<host::UObject*>(static_cast<uintptr_t>(0x40));

}  // namespace

void ForwardingHost::TouchHeader(const host::UObject* object) {
  if (object != kCorruptObject) return;
  ++corruptObjectsTouched;  // counted first: the read below does not come back
  (void)*reinterpret_cast<const volatile uintptr_t*>(g_corruptAddress);
}

host::UObject* ForwardingHost::FindObject(std::wstring_view path) {
  int left = corruptLeft_.load();
  while (left > 0) {
    if (corruptLeft_.compare_exchange_weak(left, left - 1)) {
      ++corruptObjectsHandedOut;
      return kCorruptObject;
    }
  }
  return inner_.FindObject(path);
}

host::UClass* ForwardingHost::GetClassPrivate(const host::UObject* o) {
  TouchHeader(o);
  return inner_.GetClassPrivate(o);
}

host::FProperty* ForwardingHost::GetPropertyByNameInChain(const host::UObject* o,
                                                          std::wstring_view n) {
  TouchHeader(o);
  return inner_.GetPropertyByNameInChain(o, n);
}

host::UFunction* ForwardingHost::GetFunctionByNameInChain(const host::UObject* o,
                                                          std::wstring_view n) {
  TouchHeader(o);
  return inner_.GetFunctionByNameInChain(o, n);
}

}  // namespace kvr::sim
