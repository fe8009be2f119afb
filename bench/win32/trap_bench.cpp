// kvr-trap-bench: the cost of the fault guard's call without a fault, on Windows (run it under
// Wine: scripts/wine.sh build/windows/kvr-trap-bench.exe). Google Benchmark is not built for
// Windows here, so this times batches with the performance counter and reports the best batch.
#include <windows.h>

#include <cstdio>

#include "platform/fault_trap.h"

namespace {

volatile int g_sink = 0;

__attribute__((noinline)) void Body(void*) {
  g_sink = g_sink + 1;
}

using Call = void (*)();

__attribute__((noinline)) void Direct() {
  void (*volatile body)(void*) = &Body;
  body(nullptr);
}

__attribute__((noinline)) void Guarded() {
  kvr::platform::RunTrapped(&Body, nullptr);
}

// Best nanoseconds per call over several batches (the best batch is the least disturbed one).
double BestNanosPerCall(Call call, int batches, int callsPerBatch) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double best = 1e30;
  for (int b = 0; b < batches; ++b) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < callsPerBatch; ++i) call();
    QueryPerformanceCounter(&end);
    const double ns = static_cast<double>(end.QuadPart - start.QuadPart) * 1e9 /
                      static_cast<double>(frequency.QuadPart) / callsPerBatch;
    if (ns < best) best = ns;
  }
  return best;
}

}  // namespace

int main() {
  const int batches = 20, calls = 1000000;
  const double direct = BestNanosPerCall(&Direct, batches, calls);
  const double guarded = BestNanosPerCall(&Guarded, batches, calls);
  std::printf("plain indirect call:          %6.2f ns\n", direct);
  std::printf("RunTrapped, no fault:         %6.2f ns\n", guarded);
  std::printf("guard overhead:               %6.2f ns\n", guarded - direct);
  return 0;
}
