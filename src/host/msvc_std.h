// The standard-library objects the mod exchanges with the MSVC-built mod host, laid out by hand
// the way Microsoft's STL lays them out in release builds (iterator debugging off).
//
// The mod is compiled by GCC, whose std::wstring, std::vector and std::function look nothing
// like Microsoft's, so nothing of GCC's standard library ever crosses to the host: what crosses
// is built from these plain structs. Characters are char16_t (Windows' wchar_t), so the layouts
// are the same whatever the compiler and platform, and the asserts below hold everywhere.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kvr::msvc {

// std::wstring. Up to 7 characters live in the object itself; longer text lives in a heap block
// of capacity + 1 characters whose address takes the place of the local characters.
struct WString {
  union {
    char16_t local[8];
    char16_t* heap;
  };
  uint64_t size;      // characters, without the terminator
  uint64_t capacity;  // characters the text may grow to without a new block
};
inline constexpr uint64_t kWStringLocalCapacity = 7;
static_assert(sizeof(WString) == 32);
static_assert(offsetof(WString, size) == 16 && offsetof(WString, capacity) == 24);

// std::wstring_view. Passed by value it is a 16-byte aggregate, which the Windows x64 calling
// convention hands over as the address of a caller-made copy.
struct WStringView {
  const char16_t* data;
  uint64_t size;
};
static_assert(sizeof(WStringView) == 16);

// std::vector<T>: three pointers. The elements live in [first, last); [first, end) is allocated.
template <typename T>
struct Vector {
  T* first;
  T* last;
  T* end;
};
static_assert(sizeof(Vector<void*>) == 24);
static_assert(offsetof(Vector<void*>, last) == 8 && offsetof(Vector<void*>, end) == 16);

// std::function<R(Args...)>: 56 bytes where a small callable is stored in place, then the
// address of the callable's implementation object (null when empty; the storage itself when the
// callable is stored in place). Passed by value it is passed by address, and the callee
// destroys it.
struct Function {
  unsigned char storage[56];
  void* impl;
};
static_assert(sizeof(Function) == 64 && offsetof(Function, impl) == 56);

// The virtual table of a std::function implementation object, by slot. `Call` is the do-call
// slot's type for the signature at hand: it receives the address of each argument.
template <typename Call>
struct FunctionImplTable {
  void* (*copy)(const void* self, void* where);  // copy into `where`, or into a new block
  void* (*move)(void* self, void* where);        // move into `where`
  Call call;
  const void* (*target_type)(const void* self);  // the callable's type_info
  void (*delete_this)(void* self, bool deallocate);
  const void* (*get)(const void* self);  // the callable's address
};
static_assert(sizeof(FunctionImplTable<void (*)()>) == 48);

// --- memory the host's allocator handed out --------------------------------------------------

// MSVC's std::allocator hands out blocks of 4096 bytes or more 32-byte aligned, from a larger
// block whose address it keeps in the 8 bytes just below the returned one.
inline constexpr size_t kBigAllocationThreshold = 4096;
inline constexpr size_t kBigAllocationAlignment = 32;
inline constexpr size_t kBigAllocationOverhead = 2 * sizeof(uint64_t) + kBigAllocationAlignment - 1;

// The address to give the CRT's free for `bytes` bytes handed out at `block` by the host's
// std::allocator; null when the bookkeeping word does not describe a block of that allocator
// (freeing such an address would corrupt the heap, so it is better leaked).
inline void* AllocatorBlockStart(void* block, size_t bytes) {
  if (!block || bytes < kBigAllocationThreshold) return block;
  const uintptr_t user = reinterpret_cast<uintptr_t>(block);
  const uintptr_t start = reinterpret_cast<const uintptr_t*>(block)[-1];
  if (start > user) return nullptr;
  const uintptr_t shift = user - start;
  return shift >= sizeof(uint64_t) && shift <= kBigAllocationOverhead
             ? reinterpret_cast<void*>(start)
             : nullptr;
}

inline bool OnHeap(const WString& s) {
  return s.capacity > kWStringLocalCapacity;
}

inline std::u16string_view Text(const WString& s) {
  return {OnHeap(s) ? s.heap : s.local, static_cast<size_t>(s.size)};
}

// Bytes of the heap block behind a string that is on the heap.
inline size_t HeapBytes(const WString& s) {
  return static_cast<size_t>(s.capacity + 1) * sizeof(char16_t);
}

// Bytes allocated behind a vector.
template <typename T>
size_t AllocatedBytes(const Vector<T>& v) {
  return static_cast<size_t>(reinterpret_cast<const char*>(v.end) -
                             reinterpret_cast<const char*>(v.first));
}

}  // namespace kvr::msvc
