#include "mod/mod_base.h"

#include <cstring>

namespace kvr::mod {

namespace {

// The mod's own strings in the host's layout. Only the mod writes and frees them, so they live on
// the mod's heap.
void Assign(msvc::WString& s, std::u16string_view text) {
  s = {};
  s.size = text.size();
  if (text.size() <= msvc::kWStringLocalCapacity) {
    s.capacity = msvc::kWStringLocalCapacity;
    if (!text.empty()) std::memcpy(s.local, text.data(), text.size() * sizeof(char16_t));
    return;
  }
  s.capacity = text.size();
  s.heap = new char16_t[text.size() + 1];
  std::memcpy(s.heap, text.data(), text.size() * sizeof(char16_t));
  s.heap[text.size()] = u'\0';
}

void Release(msvc::WString& s) {
  if (msvc::OnHeap(s)) delete[] s.heap;
  Assign(s, {});
}

}  // namespace

namespace detail {
void IgnoreHostEvent(CppUserModBase*) {}
}  // namespace detail

CppUserModBase::CppUserModBase(const HostVTable& table)
    : vtable(&table), GUITabs{}, EventDispatcher(nullptr) {
  for (msvc::WString* s :
       {&ModName, &ModVersion, &ModDescription, &ModAuthors, &ModIntendedSDKVersion})
    Assign(*s, {});
}

CppUserModBase::~CppUserModBase() {
  for (msvc::WString* s :
       {&ModName, &ModVersion, &ModDescription, &ModAuthors, &ModIntendedSDKVersion})
    Release(*s);
}

void CppUserModBase::SetModInfo(std::u16string_view name, std::u16string_view version,
                                std::u16string_view description, std::u16string_view authors) {
  Release(ModName);
  Release(ModVersion);
  Release(ModDescription);
  Release(ModAuthors);
  Assign(ModName, name);
  Assign(ModVersion, version);
  Assign(ModDescription, description);
  Assign(ModAuthors, authors);
}

}  // namespace kvr::mod
