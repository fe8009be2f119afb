// What the mod's measurement of itself costs.
//
//   BM_FrameCostMeasurement  one frame's measurement as the game thread makes it: a timed span
//                            around the update, a second one around a path hook's reshaping, and
//                            the close of the frame (histogram, window, run totals). Counter
//                            allocs: heap allocations per iteration.
//   BM_FrameCostMeasurementUpdateOnly  the same for the usual frame, in which no thug plans: the
//                            update's span and the close. (Thugs' queries add the second span
//                            to about 6 to 7% of the frames of a 32-thug match at 60 a second.)
//   BM_FrameCostFigures      reading the window's and the run's figures (once per published
//                            snapshot, five to sixty times a second).
#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "game/frame_cost.h"

namespace {

using kvr::game::CostSpan;
using kvr::game::FrameCostMeter;

void BM_FrameCostMeasurement(benchmark::State& state) {
  FrameCostMeter meter;
  double now = 0.0;
  const uint64_t allocs0 = kvr::bench::HeapAllocations();
  for (auto _ : state) {
    { CostSpan update(meter); }
    { CostSpan hook(meter); }
    now += 1.0 / 60.0;  // the window rolls a second every 60 frames, as in the game
    meter.EndFrame(now);
  }
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(kvr::bench::HeapAllocations() - allocs0),
                         benchmark::Counter::kAvgIterations);
  benchmark::DoNotOptimize(meter.Lifetime(1.0));
}
BENCHMARK(BM_FrameCostMeasurement);

void BM_FrameCostMeasurementUpdateOnly(benchmark::State& state) {
  FrameCostMeter meter;
  double now = 0.0;
  for (auto _ : state) {
    { CostSpan update(meter); }
    now += 1.0 / 60.0;
    meter.EndFrame(now);
  }
  benchmark::DoNotOptimize(meter.Lifetime(1.0));
}
BENCHMARK(BM_FrameCostMeasurementUpdateOnly);

void BM_FrameCostFigures(benchmark::State& state) {
  FrameCostMeter meter;
  for (int i = 0; i < 600; ++i) {
    meter.Add(static_cast<uint64_t>(1000 + (i * 7919) % 50000));
    meter.EndFrame(i / 60.0);
  }
  const kvr::game::TickScale scale;
  for (auto _ : state) {
    const double ns = scale.NanosecondsPerTick();
    benchmark::DoNotOptimize(meter.Window(ns));
    benchmark::DoNotOptimize(meter.Lifetime(ns));
  }
}
BENCHMARK(BM_FrameCostFigures);

}  // namespace
