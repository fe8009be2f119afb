// The profiles a tuning run tries. Five informed starts: the mod's defaults; the defaults
// learning from the suite's own yardstick (a network that learns from other weights than it
// is judged by chases the wrong reward); one genome learning from the yardstick with much
// replay (every episode trains the one network that plays, instead of an eighth of them); the
// same with smaller steps, and with smaller still (a judged reward carries noise of about 0.2
// against style differences of a few hundredths, and only small steps average it over many
// episodes instead of chasing the last few). Then each next one is made from the best so far by
// drawing one to three NeuralNet or Rewards settings anew within their documented ranges (never an
// evolution setting while there is one genome: it would change nothing). Each draw depends only on
// the profile number and the best so far, so a resumed run continues the same search.
//
// The settings that define what is measured (EpisodeSeconds, PlayerHitRadius,
// SpacingDistance) and those that only concern saving are never changed: the episodes of every
// profile stay comparable with the fixed-style baselines.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "sim/report/judge.h"

namespace kvr::sim::suite {

// The rows a tuning run may change.
const std::vector<int>& TunedRows();

// The number of informed starts before the search mutates the best so far.
inline constexpr int kStartProfiles = 5;

// Profile number `index`: one of the starts above, then mutations of `best`.
Settings ProfileFor(int index, const Settings& best, uint64_t seed, const report::Judge& judge);

// The search measures many profiles on the same seeds, so its best is partly the luckiest. The
// few best profiles and the defaults are measured again on as many fresh seeds (each suite seed
// plus the offset), and that second measurement alone chooses the profile that is written.
inline constexpr int kConfirmProfiles = 4;
inline constexpr uint64_t kConfirmSeedOffset = 1000;
inline constexpr double kConfirmShare = 0.2;  // of the time budget, kept for the second measure
std::vector<uint64_t> ConfirmSeeds(const std::vector<uint64_t>& seeds);

// The tuned rows of a profile as "Key=value" words, and back (false naming an unknown key).
std::string ProfileWords(const Settings& settings);
bool ProfileFromWords(const std::string& words, Settings& out, std::string& error);

}  // namespace kvr::sim::suite
