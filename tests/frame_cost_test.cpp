// The frame cost meter: buckets that cover every tick count, the rolling window of ten seconds,
// mean, 99th percentile and largest frame, figures over the whole run, and the counter's rate.
#include <gtest/gtest.h>

#include <thread>

#include "game/frame_cost.h"

namespace kvr::game {
namespace {

TEST(FrameCostMeter, BucketsTileTheTickCountsAndStayNarrow) {
  uint64_t previousTop = 0;
  for (int b = 0; b < FrameCostMeter::kBuckets; ++b) {
    const uint64_t top = FrameCostMeter::BucketTop(b);
    ASSERT_GT(top, previousTop) << b;
    EXPECT_EQ(FrameCostMeter::Bucket(previousTop), b) << "the bucket's first count";
    EXPECT_EQ(FrameCostMeter::Bucket(top - 1), b) << "the bucket's last count";
    // Above the exact buckets no bucket is wider than an eighth of its lower edge.
    if (b >= 16) {
      EXPECT_LE(top - previousTop, previousTop / 8) << b;
    }
    previousTop = top;
  }
  EXPECT_EQ(FrameCostMeter::Bucket(~uint64_t{0}), FrameCostMeter::kBuckets - 1)
      << "counts beyond the last bucket land in it";
}

TEST(FrameCostMeter, MeanNinetyNinthPercentileAndLargestOfTheWindow) {
  FrameCostMeter meter;
  // 990 frames of 1000 ticks, 9 of 5000, 1 of 40000, all within one second.
  for (int i = 0; i < 1000; ++i) {
    meter.Add(i < 990 ? 600 : 5000);
    if (i < 990) meter.Add(400);  // spans of one frame add up
    if (i == 999) meter.Add(35000);
    meter.EndFrame(3.0 + i * 0.0005);
  }
  const FrameCostFigures f = meter.Window(1000.0);  // 1 tick = 1 µs here
  EXPECT_EQ(f.frames, 1000u);
  EXPECT_DOUBLE_EQ(f.meanUs, (990.0 * 1000 + 9 * 5000 + 40000) / 1000.0);
  EXPECT_DOUBLE_EQ(f.maxUs, 40000.0);
  // The 990th frame is the last of 1000 ticks: the 99th percentile is that bucket's top.
  EXPECT_GE(f.p99Us, 1000.0);
  EXPECT_LE(f.p99Us, 1000.0 * 1.125);
  const FrameCostFigures one = [] {
    FrameCostMeter m;
    m.Add(70);
    m.EndFrame(0.5);
    return m.Window(1.0);
  }();
  EXPECT_EQ(one.frames, 1u);
  EXPECT_DOUBLE_EQ(one.p99Us, 0.07) << "never above the largest frame";
}

TEST(FrameCostMeter, FramesLeaveTheWindowAfterTenSecondsButStayInTheRun) {
  FrameCostMeter meter;
  // One frame per 1/60 s for 30 s: 10 ticks, except a 1000-tick spike at second 2.
  for (int i = 0; i < 30 * 60; ++i) {
    meter.Add(i == 2 * 60 ? 1000 : 10);
    meter.EndFrame(i / 60.0);
    if (i == 11 * 60 - 1) {
      const FrameCostFigures w = meter.Window(1000.0);
      EXPECT_EQ(w.frames, 600u) << "seconds 1 to 10";
      EXPECT_DOUBLE_EQ(w.maxUs, 1000.0);
    }
    if (i == 13 * 60 - 1) {
      const FrameCostFigures w = meter.Window(1000.0);
      EXPECT_EQ(w.frames, 600u);
      EXPECT_DOUBLE_EQ(w.maxUs, 10.0) << "the spike of second 2 has left";
      EXPECT_DOUBLE_EQ(w.p99Us, 10.0);
    }
  }
  const FrameCostFigures run = meter.Lifetime(1000.0);
  EXPECT_EQ(run.frames, 1800u);
  EXPECT_DOUBLE_EQ(run.maxUs, 1000.0);
  EXPECT_DOUBLE_EQ(run.meanUs, (1799 * 10.0 + 1000.0) / 1800.0);

  // A pause longer than the window (a loading screen) starts the window afresh.
  meter.Add(50);
  meter.EndFrame(100.0);
  EXPECT_EQ(meter.Window(1000.0).frames, 1u);
  EXPECT_EQ(meter.Lifetime(1000.0).frames, 1801u);
  const FrameCostFigures empty = FrameCostMeter{}.Window(1.0);
  EXPECT_EQ(empty.frames, 0u);
  EXPECT_EQ(empty.meanUs, 0.0);
}

TEST(FrameCostMeter, SpansCountTheCounterAndTheScaleFindsItsRate) {
  TickScale scale;
  FrameCostMeter meter;
  {
    CostSpan span(meter);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  meter.EndFrame(0.0);
  const double nsPerTick = scale.NanosecondsPerTick();
  ASSERT_GT(nsPerTick, 0.0);
  // Whatever the counter's rate, a 2 ms sleep measures at least 2 ms.
  EXPECT_GE(meter.Window(nsPerTick).maxUs, 2000.0 * 0.98);
}

TEST(FrameCostLine, ReadsAsTheStatusTabShowsIt) {
  FrameCostFigures g;
  g.frames = 600;
  g.meanUs = 12.43;
  g.p99Us = 310.2;
  g.maxUs = 1912.0;
  FrameCostFigures overlay;
  overlay.meanUs = 262.0;
  EXPECT_EQ(CostPerFrameLine(g, &overlay),
            "Mod cost per frame: game thread 12.4 \xC2\xB5s avg, 310 \xC2\xB5s p99, 1.9 ms max | "
            "overlay 0.26 ms");
  g.meanUs = 99.97;  // rounds up into the next unit's form rather than printing "100.0"
  g.p99Us = 999.7;
  g.maxUs = 0.04;
  EXPECT_EQ(CostPerFrameLine(g, nullptr),
            "Mod cost per frame: game thread 100 \xC2\xB5s avg, 1.0 ms p99, 0.0 \xC2\xB5s max");
}

}  // namespace
}  // namespace kvr::game
