// A suite: arena variants, the policies to play in each, the seeds, and the one yardstick
// (`judge`) every policy's episodes are judged by. Read from a JSON file; every path in it is
// relative to the file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/report/judge.h"
#include "sim/report/match_record.h"

namespace kvr::sim::suite {

struct Variant {
  std::string name;
  std::string level;  // a level file (absolute after loading) or a shipped level's name
  std::string rules;  // a rules file (absolute after loading); empty = the level's own
  int thugs = 12;
  double minutes = 30.0;
};

inline constexpr int kMaxPretrainRuns = 20;
// Far from any seed a suite lists, so a pretraining session never replays a judged one.
inline constexpr uint64_t kPretrainSeedStride = 100000;

struct Suite {
  std::string name;
  std::vector<uint64_t> seeds;
  size_t lastEpisodes = 2000;
  // A player's brain has learnt over earlier sessions. Each learned run first plays this many
  // whole runs of its variant on seeds of its own (kPretrainSeedStride apart from the judged
  // seed), in the same mod folder, so the judged run starts from the brain they left. 0 = the
  // judged run starts from a fresh brain. Policies that do not learn never pretrain.
  int pretrainRuns = 0;
  report::Judge judge;  // the default weights when the file has none
  std::vector<report::Policy> policies;
  std::vector<Variant> variants;
};

// Parses a suite. `baseDir` is the folder relative paths are taken from. An unknown key, a
// missing file or a bad value is an error that names it (with the variant's name where there
// is one).
bool ParseSuite(const std::string& text, const std::string& baseDir, Suite& out,
                std::string& error);
bool LoadSuite(const std::string& path, Suite& out, std::string& error);

}  // namespace kvr::sim::suite
