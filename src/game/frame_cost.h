// What the mod's own work costs a frame, measured on the thread that does it: the game thread
// (the per-frame update and the path hook's reshaping) and the render thread (the overlay).
//
// Clock: the processor's time-stamp counter. It is invariant on every processor the game runs
// on (constant rate across cores, frequency steps and sleep states; the operating system's
// performance counter is itself built on it), it reads in about 10 ns, where the performance
// counter under some hosts takes 30 ns and a thread's processor-time clock a system call. It
// counts wall time on the measuring thread: everything the frame waits for while the mod runs,
// including time the operating system gives to other threads, so a loaded machine can only
// overstate the mod's cost, never hide it. It is never the game's (or a simulator's) frame
// clock, so simulated engine time cannot leak into it. Ticks become microseconds only when
// figures are read, by the counter's rate measured against the monotonic clock since the
// meter was made.
//
// A measurement is two counter reads and an add; closing a frame files its total into a
// histogram. Nothing allocates: all storage is fixed arrays inside the meter.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#if defined(_MSC_VER)
#include <intrin.h>
#elif defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace kvr::game {

// Monotonic nanoseconds, for processors without a time-stamp counter.
uint64_t CostTicksFallback();

// The time-stamp counter, or monotonic nanoseconds where there is none.
inline uint64_t CostTicks() {
#if defined(_MSC_VER) || defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return CostTicksFallback();
#endif
}

// The counter's rate, measured between the moment the scale was made and the moment it is
// read against the monotonic clock.
class TickScale {
 public:
  TickScale();
  // Nanoseconds per tick so far; 0 until both clocks have moved on.
  double NanosecondsPerTick() const;

 private:
  uint64_t ticks0_;
  uint64_t ns0_;
};

struct FrameCostFigures {
  uint64_t frames = 0;
  double meanUs = 0.0;
  double p99Us = 0.0;  // upper edge of the histogram bucket holding the 99th percentile, at most
                       // the largest frame
  double maxUs = 0.0;
};

class FrameCostMeter {
 public:
  static constexpr int kWindowSeconds = 10;
  // Buckets: ticks 0..15 exactly, then eight per doubling (at most 12.5% wide) up to 2^44.
  static constexpr int kBuckets = 16 + 41 * 8;

  // Adds a measured span to the frame in progress.
  void Add(uint64_t ticks) { frameTicks_ += ticks; }

  // Closes the frame in progress at game time `now` (seconds) and starts the next. The window
  // keeps the frames of the current second and of the nine before it.
  void EndFrame(double now);

  // Figures of the window ending at the last closed frame, and of every frame so far.
  FrameCostFigures Window(double nanosecondsPerTick) const;
  FrameCostFigures Lifetime(double nanosecondsPerTick) const;

  static int Bucket(uint64_t ticks);
  static uint64_t BucketTop(int bucket);  // the first tick count above the bucket

 private:
  struct Tally {
    uint64_t frames = 0;
    uint64_t ticks = 0;
    uint64_t most = 0;
    void Take(uint64_t t) {
      ++frames;
      ticks += t;
      if (t > most) most = t;
    }
  };
  using Histogram = std::array<uint32_t, kBuckets>;
  static constexpr int64_t kNoSecond = -(int64_t{1} << 62);

  void MoveTo(int64_t second);
  static FrameCostFigures Figures(const Tally& t, const Histogram& h, double nsPerTick);

  uint64_t frameTicks_ = 0;
  int64_t second_ = kNoSecond;  // the second the current slot holds
  std::array<Tally, kWindowSeconds> slotTally_{};
  std::array<Histogram, kWindowSeconds> slotHistogram_{};
  Histogram window_{};  // the sum of the slots' histograms
  Tally lifetime_;
  Histogram lifetimeHistogram_{};
};

// "Mod cost per frame: game thread 12.4 µs avg, 310 µs p99, 1.9 ms max | overlay 0.26 ms"
// (UTF-8); without overlay figures the line ends after the game thread's.
std::string CostPerFrameLine(const FrameCostFigures& gameThread, const FrameCostFigures* overlay);

// One timed span: adds the ticks from construction to destruction to `meter`.
class CostSpan {
 public:
  explicit CostSpan(FrameCostMeter& meter) : meter_(meter), start_(CostTicks()) {}
  ~CostSpan() { meter_.Add(CostTicks() - start_); }
  CostSpan(const CostSpan&) = delete;
  CostSpan& operator=(const CostSpan&) = delete;

 private:
  FrameCostMeter& meter_;
  uint64_t start_;
};

}  // namespace kvr::game
