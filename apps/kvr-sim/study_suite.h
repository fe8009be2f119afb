// `kvr-sim study --suite`: every variant of a suite under every policy it lists and every seed,
// as match processes, judged with the suite's yardstick; and the pieces `kvr-sim tune` shares.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "match_jobs.h"
#include "sim/arena/play.h"
#include "sim/suite/suite_result.h"

namespace kvr::sim::cli {

struct SuiteStudyOptions {
  std::string suitePath;
  std::string config;  // settings profile every run starts from; empty = the defaults
  std::string out;
  int jobs = 0;
  PlayOptions play;  // the mod binary, navmesh cache and engine threads of every run
};

void RunSuiteStudy(const SuiteStudyOptions& options);

// Loads the suite or fails the command with the error naming the problem.
suite::Suite LoadSuiteOrFail(const std::string& path, const char* command);

// One job per variant, policy and seed, in folders <out>/<variant>/<policy>-seed<seed>.
std::vector<MatchJob> SuiteJobs(const suite::Suite& suite,
                                const std::vector<report::Policy>& policies,
                                const std::filesystem::path& out, const std::string& config,
                                const PlayOptions& base);

// Every run's figures; false with the first failed run.
bool CollectFigures(const suite::Suite& suite, const std::vector<MatchJob>& jobs,
                    std::vector<suite::RunFigures>& out, std::string& error);

}  // namespace kvr::sim::cli
