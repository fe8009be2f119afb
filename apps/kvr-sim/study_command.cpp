// kvr-sim study --out DIR [--seeds N] [--jobs J] plus the arena options: the same match under
// the learned, random and rule policies for seeds 1..N, each run a separate `kvr-sim match`
// process (as many at once as there are cores), then the table and study.svg of the figures
// read back from each run's summary.json.
//
// kvr-sim study --suite FILE [--config PROFILE] --out DIR: every variant of a suite under every
// policy it lists and every seed, judged with the suite's yardstick (study_suite.cpp).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "commands.h"
#include "match_jobs.h"
#include "platform/file.h"
#include "platform/text.h"
#include "sim/arena/play.h"
#include "sim/report/report_files.h"
#include "sim/report/study.h"
#include "study_suite.h"

namespace kvr::sim::cli {

namespace {

namespace fs = std::filesystem;

struct StudyOptions {
  PlayOptions play;
  std::string out;
  int seeds = 3;
  uint64_t firstSeed = 1;
  int jobs = 0;  // 0 = one per core
  std::string suite, config;
};

// The match options of one run besides the mod folder and report.
std::string MatchArgs(const PlayOptions& p, const report::Policy& policy, uint64_t seed) {
  std::string args = "--level " + Quote(p.level) + " --thugs " + std::to_string(p.thugs) +
                     " --minutes " + std::to_string(p.minutes) + " --seed " + std::to_string(seed) +
                     " --policy " + Quote(report::PolicyName(policy));
  if (!p.rules.empty()) args += " --rules " + Quote(p.rules);
  if (!p.modBinary.empty()) args += " --mod-binary " + Quote(p.modBinary);
  if (!p.navCacheDir.empty()) args += " --nav-cache " + Quote(p.navCacheDir);
  args += " --workers " + std::to_string(p.pathWorkers);
  if (p.fps > 0.0) args += " --fps " + std::to_string(p.fps);
  if (!p.engineAllocator) args += " --no-engine-allocator";
  return args;
}

bool ReadRun(const MatchJob& run, report::MatchSummary& out, std::string& error) {
  const std::string path = Utf8(run.dir / "report" / report::kSummaryFile);
  std::string text;
  if (run.status != 0 || !platform::ReadWholeFile(path, text)) {
    error = "the run " + Utf8(run.dir) + " failed (see its match.txt)";
    return false;
  }
  if (report::ParseSummaryJson(text, out, error)) return true;
  error = path + ": " + error;
  return false;
}

bool WriteOut(const fs::path& dir, const char* name, const std::string& text) {
  return platform::WriteFileReplacing(Utf8(dir / name), text) == platform::ReplaceStatus::kOk;
}

void RunStudy(const StudyOptions& o) {
  const fs::path out(platform::Utf8ToWide(o.out));
  std::vector<MatchJob> runs;
  for (report::Policy p : report::kPolicies)
    for (int i = 0; i < o.seeds; ++i) {
      const uint64_t seed = o.firstSeed + static_cast<uint64_t>(i);
      MatchJob job;
      job.label = report::PolicyName(p) + ", seed " + std::to_string(seed);
      job.dir = out / platform::Utf8ToWide(report::PolicyName(p) + "-seed" + std::to_string(seed));
      job.args = MatchArgs(o.play, p, seed);
      job.configFrom = o.config;
      runs.push_back(std::move(job));
    }
  const auto start = std::chrono::steady_clock::now();
  RunMatchJobs(runs, o.jobs);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<report::MatchSummary> summaries;
  for (const MatchJob& run : runs) {
    report::MatchSummary s;
    std::string error;
    if (!ReadRun(run, s, error)) {
      std::cerr << "kvr-sim study: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
    summaries.push_back(std::move(s));
  }
  const report::StudyResult study = report::SummarizeStudy(std::move(summaries));
  const std::string title =
      "Policies compared - " + o.play.level + ", " + std::to_string(o.play.thugs) + " thugs, " +
      std::to_string(static_cast<int>(o.play.minutes)) + " simulated min, " +
      (o.seeds == 1 ? "seed " + std::to_string(o.firstSeed)
                    : "seeds " + std::to_string(o.firstSeed) + ".." +
                          std::to_string(o.firstSeed + static_cast<uint64_t>(o.seeds) - 1));
  const std::string table = report::StudyTable(study);
  if (!WriteOut(out, "study.json", report::StudyJson(study)) ||
      !WriteOut(out, "study.svg", report::StudySvg(study, title)) ||
      !WriteOut(out, "study.txt", table)) {
    std::cerr << "kvr-sim study: cannot write into " << o.out << "\n";
    throw CLI::RuntimeError(kExitBadInput);
  }
  std::cout << title << "\n" << table;
  std::printf(
      "%llu runs, %d at a time, in %.1f s of wall time; files in %s\n",
      static_cast<unsigned long long>(runs.size()),
      o.jobs > 0 ? o.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency())),
      wall, o.out.c_str());
}

void CheckConfig(const std::string& path) {
  std::string text;
  if (!path.empty() && !platform::ReadWholeFile(path, text)) {
    std::cerr << "kvr-sim study: cannot read the settings profile " << path << "\n";
    throw CLI::RuntimeError(kExitBadInput);
  }
}

}  // namespace

void AddStudyCommand(CLI::App& app) {
  auto options = std::make_shared<StudyOptions>();
  options->play.minutes = 30.0;
  CLI::App* study = app.add_subcommand(
      "study",
      "The same match under the learned, random and rule policies over several seeds, run in "
      "parallel processes; prints the table of mean and standard error per policy and writes "
      "study.svg, study.json and every run's report. With --suite: every variant of the suite "
      "under every policy it lists, judged with the suite's own reward weights");
  AddArenaOptions(study, options->play);
  study->add_option("--out", options->out, "Folder for the study and its runs")->required();
  study->add_option("--seeds", options->seeds, "Seeds per policy")
      ->check(CLI::Range(1, 100))
      ->capture_default_str();
  study
      ->add_option("--first-seed", options->firstSeed,
                   "The first seed; the others follow (--seed says the same)")
      ->capture_default_str();
  study->add_option("--jobs", options->jobs, "Matches at once (default: one per core)")
      ->check(CLI::Range(0, 64));
  study->add_option("--suite", options->suite,
                    "A suite file (JSON: name, seeds, lastEpisodes, judge, policies, variants)");
  study->add_option("--config", options->config,
                    "The settings profile (a config.ini) every run starts from; the policies "
                    "change only the lines they need");
  study->callback([options, study] {
    StudyOptions o = *options;
    // --seed is the arena commands' word for the seed; here it is the first of the seeds.
    if (study->count("--seed") > 0) {
      if (study->count("--first-seed") > 0 && o.firstSeed != o.play.seed) {
        std::cerr << "kvr-sim study: --seed and --first-seed name different first seeds\n";
        throw CLI::RuntimeError(kExitBadInput);
      }
      o.firstSeed = o.play.seed;
    }
    CheckConfig(o.config);
    std::error_code ec;
    fs::create_directories(fs::path(platform::Utf8ToWide(o.out)), ec);
    if (!o.suite.empty()) {
      SuiteStudyOptions s{o.suite, o.config, o.out, o.jobs, o.play};
      RunSuiteStudy(s);
      return;
    }
    RunStudy(o);
  });
}

}  // namespace kvr::sim::cli
