#include "sim/report/judge.h"

#include <cmath>

namespace kvr::sim::report {

Judge JudgeOf(const Settings& s) {
  return {s.WeightProgress, s.WeightDamageTaken, s.WeightPlayerHit, s.WeightSpacing,
          s.RewardSharpness};
}

double JudgedReward(const EpisodeLine& e, const Judge& j) {
  const double raw = j.progress * e.progress - j.damageTaken * e.damage + j.playerHit * e.hits +
                     j.spacing * (e.spacing - 0.5);
  return 1.0 / (std::exp(-j.sharpness * raw) + 1.0);
}

}  // namespace kvr::sim::report
