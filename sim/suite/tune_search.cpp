#include "sim/suite/tune_search.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tactics/rng.h"

namespace kvr::sim::suite {

namespace {

// Rows whose range spans several orders of magnitude are drawn evenly on a log scale.
bool LogScale(int row) {
  return row == kSettingLearningRate || row == kSettingGradientClip ||
         row == kSettingExploreDecayEpisodes || row == kSettingEvolveEveryEpisodes ||
         row == kSettingMinEpisodesToRank || row == kSettingReplaySize;
}

double Draw(int row, tactics::Rng& rng) {
  const SettingDef& def = SettingsTable()[row];
  const double u = rng.NextUnit();
  if (LogScale(row)) {
    const double lo = std::max(def.min, def.max * 1e-6), hi = def.max;
    const double v = std::exp(std::log(lo) + u * (std::log(hi) - std::log(lo)));
    return row == kSettingReplaySize && u < 0.1 ? 0.0 : v;  // replay off stays reachable
  }
  if (row == kSettingL2)
    return u < 0.3 ? 0.0 : std::exp(std::log(1e-6) + u * std::log(0.05 / 1e-6));
  return def.min + u * (def.max - def.min);
}

// With one genome there is nothing to rank, select or breed: these rows change nothing, and a
// draw spent on one only repeats the same play.
bool Inert(int row, const Settings& s) {
  if (s.Population > 1) return false;
  return row == kSettingEvolveEveryEpisodes || row == kSettingMinEpisodesToRank ||
         row == kSettingElites || row == kSettingTournamentSize || row == kSettingMutationType ||
         row == kSettingMutationRate || row == kSettingCrossoverType;
}

}  // namespace

const std::vector<int>& TunedRows() {
  static const std::vector<int> rows = {kSettingHiddenLayer1,      kSettingHiddenLayer2,
                                        kSettingHiddenActivation,  kSettingLearningRate,
                                        kSettingMomentum,          kSettingL2,
                                        kSettingGradientClip,      kSettingReplaySize,
                                        kSettingReplayPerEpisode,  kSettingExploreStart,
                                        kSettingExploreMin,        kSettingExploreDecayEpisodes,
                                        kSettingPopulation,        kSettingEvolveEveryEpisodes,
                                        kSettingMinEpisodesToRank, kSettingElites,
                                        kSettingTournamentSize,    kSettingMutationType,
                                        kSettingMutationRate,      kSettingCrossoverType,
                                        kSettingWeightProgress,    kSettingWeightDamageTaken,
                                        kSettingWeightPlayerHit,   kSettingWeightSpacing,
                                        kSettingRewardSharpness};
  return rows;
}

Settings ProfileFor(int index, const Settings& best, uint64_t seed, const report::Judge& judge) {
  Settings s;
  if (index == 0) return s;
  if (index < kStartProfiles) {
    SetSettingValue(s, kSettingWeightProgress, judge.progress);
    SetSettingValue(s, kSettingWeightDamageTaken, judge.damageTaken);
    SetSettingValue(s, kSettingWeightPlayerHit, judge.playerHit);
    SetSettingValue(s, kSettingWeightSpacing, judge.spacing);
    SetSettingValue(s, kSettingRewardSharpness, judge.sharpness);
    if (index >= 2) {
      SetSettingValue(s, kSettingPopulation, 1);
      SetSettingValue(s, kSettingReplayPerEpisode, 16);
      SetSettingValue(s, kSettingReplaySize, 4096);
    }
    if (index == 3) SetSettingValue(s, kSettingLearningRate, 0.01);
    if (index == 4) SetSettingValue(s, kSettingLearningRate, 0.003);
    return s;
  }
  s = best;
  tactics::Rng rng;
  rng.state = seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(index);
  const int changes = 1 + static_cast<int>(rng.NextU64() % 3);
  for (int i = 0; i < changes; ++i) {
    std::vector<int> rows;
    for (int row : TunedRows())
      if (!Inert(row, s)) rows.push_back(row);
    const int row = rows[rng.NextU64() % rows.size()];
    SetSettingValue(s, row, Draw(row, rng));
  }
  if (s.ExploreMin > s.ExploreStart) SetSettingValue(s, kSettingExploreMin, s.ExploreStart);
  return s;
}

std::vector<uint64_t> ConfirmSeeds(const std::vector<uint64_t>& seeds) {
  std::vector<uint64_t> fresh;
  for (uint64_t seed : seeds) fresh.push_back(seed + kConfirmSeedOffset);
  return fresh;
}

std::string ProfileWords(const Settings& s) {
  std::string out;
  for (int row : TunedRows()) {
    const SettingDef& def = SettingsTable()[row];
    if (!out.empty()) out += ' ';
    out += def.key;
    out += '=';
    out += FormatSettingValue(def, GetSettingValue(s, row));
  }
  return out;
}

bool ProfileFromWords(const std::string& words, Settings& out, std::string& error) {
  Settings s;
  std::istringstream in(words);
  for (std::string word; in >> word;) {
    const size_t eq = word.find('=');
    const std::string key = word.substr(0, eq);
    int row = -1;
    for (int r : TunedRows())
      if (key == SettingsTable()[r].key) row = r;
    char* end = nullptr;
    const double v = eq == std::string::npos ? 0.0 : std::strtod(word.c_str() + eq + 1, &end);
    if (row < 0 || eq == std::string::npos || !end || *end != '\0') {
      error = "unreadable setting \"" + word + "\"";
      return false;
    }
    SetSettingValue(s, row, v);
  }
  out = s;
  return true;
}

}  // namespace kvr::sim::suite
