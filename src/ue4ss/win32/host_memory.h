// Memory the host's allocator handed to the mod (the text of a returned std::wstring, the
// elements of a vector the host grew) belongs to the host's C runtime heap. It is given back
// with that runtime's free (ucrtbase.dll), through the same bookkeeping as MSVC's std::allocator,
// never with the mod's own free: the mod's runtime keeps a different heap.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "host/msvc_std.h"

namespace kvr::ue4ss {

// Finds the host runtime's free. False when ucrtbase.dll is not in the process; host memory is
// then kept rather than handed to the wrong heap.
bool BindHostFree();

// Gives back a block the host's std::allocator handed out for `bytes` bytes.
void FreeHostBlock(void* block, size_t bytes);

// Copies the text out and gives the string's block back; the string is empty afterwards.
std::wstring TakeHostString(msvc::WString& s);

// Copies the elements out (replacing `out`) and gives the vector's block back.
template <typename T>
void TakeHostVector(msvc::Vector<T>& v, std::vector<T>& out) {
  out.assign(v.first, v.last);
  if (v.first) FreeHostBlock(v.first, msvc::AllocatedBytes(v));
  v = {};
}

}  // namespace kvr::ue4ss
