// The stand-in host's heap: the host runtime's (ucrtbase.dll) malloc and free, counted, so that
// a run can tell which of the host's blocks the mod took over and whether it gave them back.
#pragma once
#include <stddef.h>
#include <stdint.h>

extern "C" __declspec(dllimport) void* malloc(size_t size);
extern "C" __declspec(dllimport) void free(void* block);

struct KvrStandinCounters {
  int64_t live;  // blocks this host allocated and has not freed
  int64_t functionCopies;
  int64_t functionMoves;
  int64_t functionDestroys;
};
extern KvrStandinCounters kvr_standin_counters;

// Counters are bumped from every thread that calls into the host.
inline void KvrCount(int64_t& counter, int64_t by) {
  __atomic_fetch_add(&counter, by, __ATOMIC_RELAXED);
}

void* operator new(size_t size);
void operator delete(void* block) noexcept;
void operator delete(void* block, size_t) noexcept;
