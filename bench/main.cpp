// kvr-bench: every benchmark of the project in one Google Benchmark program. Benchmarks live
// in their own files of this folder and register themselves.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
