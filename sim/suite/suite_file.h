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

struct Suite {
  std::string name;
  std::vector<uint64_t> seeds;
  size_t lastEpisodes = 2000;
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
