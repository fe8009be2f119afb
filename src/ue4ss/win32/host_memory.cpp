#include "ue4ss/win32/host_memory.h"

#include <windows.h>

#include <atomic>

namespace kvr::ue4ss {

namespace {

using FreeFn = void (*)(void*);

std::atomic<FreeFn> g_hostFree{nullptr};

}  // namespace

bool BindHostFree() {
  if (g_hostFree.load()) return true;
  HMODULE crt = GetModuleHandleW(L"ucrtbase.dll");
  auto fn = crt ? reinterpret_cast<FreeFn>(reinterpret_cast<void*>(GetProcAddress(crt, "free")))
                : nullptr;
  g_hostFree.store(fn);
  return fn != nullptr;
}

void FreeHostBlock(void* block, size_t bytes) {
  const FreeFn hostFree = g_hostFree.load();
  void* start = msvc::AllocatorBlockStart(block, bytes);
  if (hostFree && start) hostFree(start);
}

std::wstring TakeHostString(msvc::WString& s) {
  const std::u16string_view text = msvc::Text(s);
  std::wstring out(reinterpret_cast<const wchar_t*>(text.data()), text.size());
  if (msvc::OnHeap(s)) FreeHostBlock(s.heap, msvc::HeapBytes(s));
  s = {};
  s.capacity = msvc::kWStringLocalCapacity;
  return out;
}

}  // namespace kvr::ue4ss
