// The learning curve of a match: mean reward per block of 100 episodes, overall and per style,
// with the mod's exploration rate at the end of each block. Written as learning.csv and drawn
// as learning.svg.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "aps/aps.h"
#include "sim/report/match_record.h"

namespace kvr::sim::report {

inline constexpr size_t kLearningBlock = 100;
// A style's point in learning.svg needs this many of its episodes in the block.
inline constexpr size_t kFewestEpisodesShown = 20;

struct LearningRow {
  size_t block = 0;          // 1-based
  uint64_t lastEpisode = 0;  // episodes judged in this match up to the block's end
  double minutes = 0.0;      // simulated minutes at the block's end
  size_t count = 0;          // episodes in the block (the last block may be shorter)
  double meanReward = 0.0;
  std::array<size_t, aps::kStyleCount> styleCount{};
  std::array<double, aps::kStyleCount> styleReward{};  // NaN when the block had none
  float exploration = 0.0f;                            // the mod's exploration rate after the block
};

// Blocks of blockSize episodes in the order they ended; a last short block is kept when it
// holds at least half a block.
std::vector<LearningRow> LearningCurve(const MatchRecord& record,
                                       size_t blockSize = kLearningBlock);

// Header "block,episodes,minutes,count,mean_reward,exploration,<style>_count,<style>_reward..."
// with style names in lower case and underscores; empty cells for missing figures.
std::string LearningCsv(const std::vector<LearningRow>& rows);

// Reward per block over episodes (overall thick, styles thin, in their colours, a style's dot
// sized by its episodes in the block and left out below kFewestEpisodesShown) and the
// exploration rate (dashed) on the same 0..1 scale.
std::string LearningSvg(const std::vector<LearningRow>& rows, const std::string& title);

}  // namespace kvr::sim::report
