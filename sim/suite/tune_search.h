// The profiles a tuning run tries: the mod's defaults first, then a profile that learns from
// fewer, busier networks (one genome, small steps, much replay), then each next one made from
// the best so far by drawing one to three NeuralNet or Rewards settings anew within their
// documented ranges. Each draw depends only on the profile number and the best so far, so a
// resumed run continues the same search.
//
// The settings that define what is measured (EpisodeSeconds, PlayerHitRadius,
// SpacingDistance) and those that only concern saving are never changed: the episodes of every
// profile stay comparable with the fixed-style baselines.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace kvr::sim::suite {

// The rows a tuning run may change.
const std::vector<int>& TunedRows();

// Profile number `index` (0 = the defaults, 1 = the one-genome profile, then mutations of
// `best`).
Settings ProfileFor(int index, const Settings& best, uint64_t seed);

// The tuned rows of a profile as "Key=value" words, and back (false naming an unknown key).
std::string ProfileWords(const Settings& settings);
bool ProfileFromWords(const std::string& words, Settings& out, std::string& error);

}  // namespace kvr::sim::suite
