// The few Windows functions the stand-in host calls, declared by hand (no SDK headers here).
#pragma once
#include <stdint.h>

extern "C" {
__declspec(dllimport) void* LoadLibraryW(const wchar_t* path);
__declspec(dllimport) int FreeLibrary(void* module);
__declspec(dllimport) void* GetProcAddress(void* module, const char* name);
__declspec(dllimport) void InitializeCriticalSection(void* section);
__declspec(dllimport) void EnterCriticalSection(void* section);
__declspec(dllimport) void LeaveCriticalSection(void* section);
__declspec(dllimport) int HeapLock(void* heap);
__declspec(dllimport) int HeapUnlock(void* heap);
__declspec(dllimport) int HeapWalk(void* heap, void* entry);
__declspec(dllimport) void* _get_heap_handle();
}

struct alignas(8) CriticalSection {
  unsigned char bytes[40];
};

// PROCESS_HEAP_ENTRY
struct HeapEntry {
  void* data;
  uint32_t size;
  uint8_t overhead;
  uint8_t regionIndex;
  uint16_t flags;
  uint8_t rest[24];
};
static_assert(sizeof(HeapEntry) == 40);
constexpr uint16_t kHeapEntryBusy = 0x0004;

// Holds a critical section for a scope.
class Locked {
 public:
  explicit Locked(CriticalSection& section) : section_(section) { EnterCriticalSection(&section_); }
  ~Locked() { LeaveCriticalSection(&section_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CriticalSection& section_;
};
