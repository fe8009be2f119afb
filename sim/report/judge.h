// One yardstick for every policy: an episode's reward recomputed from the terms the mod logs
// (progress, damage, hits, spacing) with a fixed set of weights, whatever weights the mod
// itself learnt with. The terms come from the verbose line, which prints them with two
// decimals, so a judged reward carries that rounding (a few thousandths at most).
#pragma once
#include "settings/settings.h"
#include "sim/report/mod_log.h"

namespace kvr::sim::report {

struct Judge {
  double progress = 1.0;     // WeightProgress
  double damageTaken = 1.5;  // WeightDamageTaken
  double playerHit = 1.0;    // WeightPlayerHit
  double spacing = 0.5;      // WeightSpacing
  double sharpness = 1.5;    // RewardSharpness
};

// The weights of a settings record (a default record gives the mod's default weights).
Judge JudgeOf(const Settings& settings);

// The mod's reward formula on the logged terms: the logistic of sharpness x (progress x p -
// damage x m + hit x h + spacing x (q - 0.5)).
double JudgedReward(const EpisodeLine& episode, const Judge& judge);

}  // namespace kvr::sim::report
