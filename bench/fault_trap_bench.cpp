// The fault guard's call without a fault: it runs on every throttled-through ReceiveTick and
// around every overlay frame, so it must cost next to nothing (target: at most 20 ns).
#include <benchmark/benchmark.h>

#include "platform/fault_trap.h"

namespace {

volatile int g_sink = 0;

__attribute__((noinline)) void Body(void*) {
  g_sink = g_sink + 1;
}

void BM_PlainCall(benchmark::State& state) {
  void (*volatile body)(void*) = &Body;
  for (auto _ : state) body(nullptr);
}
BENCHMARK(BM_PlainCall);

void BM_RunTrappedNoFault(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kvr::platform::RunTrapped(&Body, nullptr));
}
BENCHMARK(BM_RunTrappedNoFault);

}  // namespace
