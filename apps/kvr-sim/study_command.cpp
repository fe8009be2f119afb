// kvr-sim study --out DIR [--seeds N] [--jobs J] plus the arena options: the same match under
// the learned, random and rule policies for seeds 1..N, each run a separate `kvr-sim match`
// process (as many at once as there are cores), then the table and study.svg of the figures
// read back from each run's summary.json.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "commands.h"
#include "platform/file.h"
#include "platform/module.h"
#include "platform/text.h"
#include "sim/arena/play.h"
#include "sim/report/report_files.h"
#include "sim/report/study.h"

namespace kvr::sim::cli {

namespace {

namespace fs = std::filesystem;

struct StudyOptions {
  PlayOptions play;
  std::string out;
  int seeds = 3;
  uint64_t firstSeed = 1;
  int jobs = 0;  // 0 = one per core
};

struct StudyRun {
  report::Policy policy;
  uint64_t seed;
  fs::path dir;
  int status = -1;
  double seconds = 0;
};

std::string Quote(const std::string& arg) {
#if defined(_WIN32)
  return "\"" + arg + "\"";
#else
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
#endif
}

std::string Utf8(const fs::path& p) {
  return platform::WideToUtf8(p.wstring());
}

std::string SelfPath() {
  return platform::WideToUtf8(platform::ModulePathOf(reinterpret_cast<const void*>(&Quote)));
}

// The match command line of one run; its output goes to <run dir>/match.txt.
std::string MatchCommand(const StudyOptions& o, const StudyRun& run) {
  const PlayOptions& p = o.play;
  std::string cmd = Quote(SelfPath()) + " match --no-progress --level " + Quote(p.level) +
                    " --thugs " + std::to_string(p.thugs) + " --minutes " +
                    std::to_string(p.minutes) + " --seed " + std::to_string(run.seed) +
                    " --policy " + report::PolicyName(run.policy) + " --mod-dir " +
                    Quote(Utf8(run.dir / "KorvathPalimarNeuralNav")) + " --report " +
                    Quote(Utf8(run.dir / "report"));
  if (!p.rules.empty()) cmd += " --rules " + Quote(p.rules);
  if (!p.modBinary.empty()) cmd += " --mod-binary " + Quote(p.modBinary);
  if (!p.navCacheDir.empty()) cmd += " --nav-cache " + Quote(p.navCacheDir);
  cmd += " --workers " + std::to_string(p.pathWorkers);
  if (p.fps > 0.0) cmd += " --fps " + std::to_string(p.fps);
  if (!p.engineAllocator) cmd += " --no-engine-allocator";
  return cmd + " > " + Quote(Utf8(run.dir / "match.txt")) + " 2>&1";
}

// Runs every match, `jobs` at a time; each run starts in an empty folder so that it replays
// from its seed alone.
void RunAll(const StudyOptions& o, std::vector<StudyRun>& runs, int jobs) {
  std::atomic<size_t> next{0};
  std::atomic<size_t> finished{0};
  std::mutex printing;
  auto worker = [&] {
    for (size_t i; (i = next++) < runs.size();) {
      StudyRun& run = runs[i];
      std::error_code ec;
      fs::remove_all(run.dir, ec);
      fs::create_directories(run.dir, ec);
      const auto start = std::chrono::steady_clock::now();
      run.status = std::system(MatchCommand(o, run).c_str());
      run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::lock_guard<std::mutex> lock(printing);
      std::fprintf(stderr, "[%llu/%llu] %s, seed %llu: %s in %.1f s\n",
                   static_cast<unsigned long long>(++finished),
                   static_cast<unsigned long long>(runs.size()), report::PolicyName(run.policy),
                   static_cast<unsigned long long>(run.seed), run.status == 0 ? "done" : "FAILED",
                   run.seconds);
    }
  };
  std::vector<std::thread> threads;
  for (int j = 0; j < jobs; ++j) threads.emplace_back(worker);
  for (std::thread& t : threads) t.join();
}

bool ReadRun(const StudyRun& run, report::MatchSummary& out, std::string& error) {
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
  std::vector<StudyRun> runs;
  for (report::Policy p : report::kPolicies)
    for (int i = 0; i < o.seeds; ++i) {
      const uint64_t seed = o.firstSeed + static_cast<uint64_t>(i);
      runs.push_back({p, seed,
                      out / platform::Utf8ToWide(std::string(report::PolicyName(p)) + "-seed" +
                                                 std::to_string(seed))});
    }
  const int jobs =
      o.jobs > 0 ? o.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const auto start = std::chrono::steady_clock::now();
  RunAll(o, runs, jobs);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<report::MatchSummary> summaries;
  for (const StudyRun& run : runs) {
    report::MatchSummary s;
    std::string error;
    if (!ReadRun(run, s, error)) {
      std::cerr << "kvr-sim study: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
    summaries.push_back(std::move(s));
  }
  const report::StudyResult study = report::SummarizeStudy(std::move(summaries));
  const std::string title = "Policies compared - " + o.play.level + ", " +
                            std::to_string(o.play.thugs) + " thugs, " +
                            std::to_string(static_cast<int>(o.play.minutes)) +
                            " simulated min, seeds " + std::to_string(o.firstSeed) + ".." +
                            std::to_string(o.firstSeed + static_cast<uint64_t>(o.seeds) - 1);
  const std::string table = report::StudyTable(study);
  if (!WriteOut(out, "study.json", report::StudyJson(study)) ||
      !WriteOut(out, "study.svg", report::StudySvg(study, title)) ||
      !WriteOut(out, "study.txt", table)) {
    std::cerr << "kvr-sim study: cannot write into " << o.out << "\n";
    throw CLI::RuntimeError(kExitBadInput);
  }
  std::cout << title << "\n" << table;
  std::printf("%llu runs, %d at a time, in %.1f s of wall time; files in %s\n",
              static_cast<unsigned long long>(runs.size()), jobs, wall, o.out.c_str());
}

}  // namespace

void AddStudyCommand(CLI::App& app) {
  auto options = std::make_shared<StudyOptions>();
  options->play.minutes = 30.0;
  CLI::App* study = app.add_subcommand(
      "study",
      "The same match under the learned, random and rule policies over several seeds, run in "
      "parallel processes; prints the table of mean and standard error per policy and writes "
      "study.svg, study.json and every run's report");
  AddArenaOptions(study, options->play);
  study->add_option("--out", options->out, "Folder for the study and its runs")->required();
  study->add_option("--seeds", options->seeds, "Seeds per policy")
      ->check(CLI::Range(1, 100))
      ->capture_default_str();
  study->add_option("--first-seed", options->firstSeed, "The first seed; the others follow")
      ->capture_default_str();
  study->add_option("--jobs", options->jobs, "Matches at once (default: one per core)")
      ->check(CLI::Range(0, 64));
  study->callback([options] {
    std::error_code ec;
    fs::create_directories(fs::path(platform::Utf8ToWide(options->out)), ec);
    RunStudy(*options);
  });
}

}  // namespace kvr::sim::cli
