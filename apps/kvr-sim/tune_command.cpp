// kvr-sim tune --suite FILE --out DIR [--minutes M] [--jobs J] [--seed S]: searches the
// NeuralNet and Rewards settings for the profile under which the learned policy's largest
// regret over the suite's variants is smallest.
//
// The suite's other policies (random, the fixed styles) do not depend on those settings, so
// they are played once, under the defaults, in DIR/baseline. Each profile then plays only the
// learned policy. Every profile tried is a row appended to DIR/tune.tsv as soon as it is
// measured; a run stopped at any point and started again with the same arguments reads the
// rows back, keeps the finished matches and goes on with the same search.
//
// The last fifth of the budget measures the defaults and the few best profiles again, on fresh
// seeds (DIR/confirm), and only that second measurement chooses the profile written: among a
// hundred profiles measured on the same seeds, the best is partly the luckiest.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "platform/file.h"
#include "platform/text.h"
#include "settings/config_ini.h"
#include "sim/suite/tune_search.h"
#include "study_suite.h"

namespace kvr::sim::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct TuneOptions {
  std::string suite, out;
  double minutes = 60.0;
  int jobs = 0;
  uint64_t seed = 1;
  int maxProfiles = 1000;
  PlayOptions play;
};

struct Tried {
  int index = 0;
  double maxRegret = 0.0;
  std::vector<double> regrets;  // per variant
  double seconds = 0.0;
  std::string words;
};

void TuneFail(const std::string& why) {
  std::cerr << "kvr-sim tune: " << why << "\n";
  throw CLI::RuntimeError(kExitBadInput);
}

std::string Header(const suite::Suite& s) {
  std::string out = "profile\tmaxRegret";
  for (const suite::Variant& v : s.variants) out += "\tregret " + v.name;
  return out + "\tseconds\tsettings\n";
}

std::vector<Tried> ReadTried(const fs::path& file, const suite::Suite& s) {
  std::vector<Tried> rows;
  std::ifstream in(file);
  std::string line;
  if (!std::getline(in, line)) return rows;
  if (line + "\n" != Header(s))
    TuneFail(Utf8(file) + " belongs to another suite; use another --out");
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Tried t;
    std::string cell;
    std::getline(fields, cell, '\t');
    t.index = std::atoi(cell.c_str());
    std::getline(fields, cell, '\t');
    t.maxRegret = std::atof(cell.c_str());
    for (size_t i = 0; i < s.variants.size() && std::getline(fields, cell, '\t'); ++i)
      t.regrets.push_back(std::atof(cell.c_str()));
    std::getline(fields, cell, '\t');
    t.seconds = std::atof(cell.c_str());
    std::getline(fields, t.words);
    if (t.regrets.size() == s.variants.size()) rows.push_back(t);
  }
  return rows;
}

void Append(const fs::path& file, const suite::Suite& s, const Tried& t) {
  const bool fresh = !fs::exists(file);
  std::ofstream out(file, std::ios::app);
  if (fresh) out << Header(s);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d\t%.5f", t.index, t.maxRegret);
  out << buf;
  for (double r : t.regrets) {
    std::snprintf(buf, sizeof buf, "\t%.5f", r);
    out << buf;
  }
  std::snprintf(buf, sizeof buf, "\t%.0f\t", t.seconds);
  out << buf << t.words << "\n";
  if (!out) TuneFail("cannot append to " + Utf8(file));
}

const Tried* Best(const std::vector<Tried>& rows) {
  const Tried* best = nullptr;
  for (const Tried& t : rows)
    if (!best || t.maxRegret < best->maxRegret) best = &t;
  return best;
}

Settings SettingsOf(const Tried* t) {
  Settings s;
  std::string error;
  if (t && !suite::ProfileFromWords(t->words, s, error)) TuneFail("tune.tsv: " + error);
  return s;
}

// The baseline policies' runs, and their per-variant figures.
fs::path OutDir(const TuneOptions& o) {
  return fs::path(platform::Utf8ToWide(o.out));
}

std::vector<suite::RunFigures> Baseline(const TuneOptions& o, const suite::Suite& s,
                                        const fs::path& dir) {
  std::vector<report::Policy> policies;
  for (const report::Policy& p : s.policies)
    if (p.kind != report::PolicyKind::kLearned && p.kind != report::PolicyKind::kRule)
      policies.push_back(p);
  std::vector<MatchJob> jobs = SuiteJobs(s, policies, dir, "", o.play);
  for (MatchJob& j : jobs) j.keepFinished = true;
  std::fprintf(stderr, "baseline: %llu runs of the policies that do not learn\n",
               static_cast<unsigned long long>(jobs.size()));
  RunMatchJobs(jobs, o.jobs);
  std::vector<suite::RunFigures> figures;
  std::string error;
  if (!CollectFigures(s, jobs, figures, error)) TuneFail(error);
  return figures;
}

Tried Measure(const TuneOptions& o, const suite::Suite& s,
              const std::vector<suite::RunFigures>& baseline, int index, const Settings& profile,
              const fs::path& runsDir) {
  const fs::path dir = OutDir(o) / "profiles";
  std::error_code ec;
  fs::create_directories(dir, ec);
  const std::string ini = Utf8(dir / ("profile" + std::to_string(index) + ".ini"));
  if (!WriteConfigIni(ini, profile)) TuneFail("cannot write " + ini);
  const auto start = Clock::now();
  std::vector<MatchJob> jobs = SuiteJobs(
      s, {report::Policy::kLearned}, runsDir / ("profile" + std::to_string(index)), ini, o.play);
  for (MatchJob& j : jobs) j.keepFinished = true;
  RunMatchJobs(jobs, o.jobs);
  std::vector<suite::RunFigures> figures = baseline;
  std::string error;
  if (!CollectFigures(s, jobs, figures, error)) TuneFail(error);
  suite::Suite judged = s;
  judged.policies = {report::Policy::kLearned};
  for (const report::Policy& p : s.policies)
    if (p.kind != report::PolicyKind::kLearned) judged.policies.push_back(p);
  const suite::SuiteResult result = suite::SummarizeSuite(judged, figures);
  Tried t;
  t.index = index;
  t.words = suite::ProfileWords(profile);
  t.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  t.maxRegret = 0.0;
  for (const suite::VariantResult& v : result.variants) {
    t.regrets.push_back(v.policies[0].regret);
    t.maxRegret = std::max(t.maxRegret, v.policies[0].regret);
  }
  return t;
}

const Tried* Row(const std::vector<Tried>& rows, int index) {
  for (const Tried& t : rows)
    if (t.index == index) return &t;
  return nullptr;
}

// The defaults and the best few profiles whose plays differ: a mutation of a setting that
// changed nothing repeats its parent's play to the last digit, and is measured again only once.
std::vector<const Tried*> Finalists(const std::vector<Tried>& rows) {
  std::vector<const Tried*> sorted;
  for (const Tried& t : rows) sorted.push_back(&t);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Tried* a, const Tried* b) { return a->maxRegret < b->maxRegret; });
  std::vector<const Tried*> out;
  if (!rows.empty()) out.push_back(&rows.front());  // the defaults
  for (const Tried* t : sorted) {
    if (static_cast<int>(out.size()) > suite::kConfirmProfiles) break;
    bool repeat = false;
    for (const Tried* kept : out) repeat = repeat || kept->regrets == t->regrets;
    if (!repeat) out.push_back(t);
  }
  return out;
}

// The finalists measured again on fresh seeds, with baselines of their own.
std::vector<Tried> Confirm(const TuneOptions& o, const suite::Suite& s,
                           const std::vector<Tried>& rows) {
  suite::Suite fresh = s;
  fresh.seeds = suite::ConfirmSeeds(s.seeds);
  const fs::path dir = OutDir(o) / "confirm";
  std::error_code ec;
  fs::create_directories(dir, ec);
  const fs::path table = dir / "tune.tsv";
  std::vector<Tried> done = ReadTried(table, fresh);
  std::fprintf(stderr, "measuring the best profiles again on fresh seeds\n");
  const std::vector<suite::RunFigures> baseline = Baseline(o, fresh, dir / "baseline");
  for (const Tried* t : Finalists(rows)) {
    if (Row(done, t->index)) continue;  // measured in an earlier sitting
    done.push_back(Measure(o, fresh, baseline, t->index, SettingsOf(t), dir / "runs"));
    Append(table, fresh, done.back());
    std::fprintf(stderr, "profile %d on fresh seeds: max regret %.4f (%.4f on the first)\n",
                 t->index, done.back().maxRegret, t->maxRegret);
  }
  return done;
}

std::string TableText(const std::vector<Tried>& rows, const std::vector<Tried>& confirmed,
                      const Tried* best) {
  std::string out = "profile  max regret  fresh seeds  seconds  settings (the tuned rows)\n";
  for (const Tried& t : rows) {
    const Tried* again = Row(confirmed, t.index);
    char fresh[16] = "           ";
    if (again) std::snprintf(fresh, sizeof fresh, "%11.4f", again->maxRegret);
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s%6d  %10.4f  %s  %7.0f  ",
                  best && t.index == best->index ? "*" : " ", t.index, t.maxRegret, fresh,
                  t.seconds);
    out += buf + t.words + "\n";
  }
  return out + "(* = the profile written to config.ini: the lowest max regret on fresh seeds)\n";
}

std::string HeaderComment(const suite::Suite& s, const std::vector<Tried>& rows,
                          const std::vector<Tried>& confirmed, const Tried* best, double minutes) {
  const Tried* defaults = Row(confirmed, 0);
  char line[768];
  std::snprintf(
      line, sizeof line,
      "; Tuned by kvr-sim tune on the suite \"%s\" (%llu variants, %llu seeds, the "
      "last %llu episodes judged,\n; the learned brain first trained over %d earlier runs of "
      "each).\n; Searched: the NeuralNet and Rewards settings "
      "within their documented ranges (not EpisodeSeconds, PlayerHitRadius,\n; "
      "SpacingDistance: they define what is measured); %llu profiles, %.0f minutes of play.\n"
      "; Measured: the learned policy's largest regret against the best fixed style "
      "over the variants:\n; %.4f for this profile (profile %d), %.4f for the "
      "defaults (profile 0);\n; on %llu fresh seeds, where %llu finalists were measured again "
      "and this one chosen: %.4f, defaults %.4f.\n",
      s.name.c_str(), static_cast<unsigned long long>(s.variants.size()),
      static_cast<unsigned long long>(s.seeds.size()),
      static_cast<unsigned long long>(s.lastEpisodes), s.pretrainRuns,
      static_cast<unsigned long long>(rows.size()), minutes, Row(rows, best->index)->maxRegret,
      best->index, rows.front().maxRegret, static_cast<unsigned long long>(s.seeds.size()),
      static_cast<unsigned long long>(confirmed.size()), best->maxRegret,
      defaults ? defaults->maxRegret : rows.front().maxRegret);
  return line;
}

void WriteResult(const TuneOptions& o, const suite::Suite& s, const std::vector<Tried>& rows,
                 const std::vector<Tried>& confirmed, double minutes) {
  const Tried* best = Best(confirmed);
  const std::string path = Utf8(OutDir(o) / "config.ini");
  Settings settings = SettingsOf(Row(rows, best->index));
  if (!WriteConfigIni(path, settings)) TuneFail("cannot write " + path);
  std::string body;
  platform::ReadWholeFile(path, body);
  const std::string table = TableText(rows, confirmed, best);
  if (platform::WriteFileReplacing(path, HeaderComment(s, rows, confirmed, best, minutes) + body) !=
          platform::ReplaceStatus::kOk ||
      platform::WriteFileReplacing(Utf8(OutDir(o) / "tune.txt"), table) !=
          platform::ReplaceStatus::kOk)
    TuneFail("cannot write into " + o.out);
  std::cout << table << "best: profile " << best->index << ", max regret " << best->maxRegret
            << " on fresh seeds; written to " << path << "\n";
}

void RunTune(const TuneOptions& o) {
  const suite::Suite s = LoadSuiteOrFail(o.suite, "tune");
  const auto start = Clock::now();
  const auto used = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  const double searchSeconds = o.minutes * 60.0 * (1.0 - suite::kConfirmShare);
  const fs::path table = OutDir(o) / "tune.tsv";
  std::vector<Tried> rows = ReadTried(table, s);
  const std::vector<suite::RunFigures> baseline = Baseline(o, s, OutDir(o) / "baseline");
  double slowest = 0.0;
  for (const Tried& t : rows) slowest = std::max(slowest, t.seconds);
  while (static_cast<int>(rows.size()) < o.maxProfiles) {
    if (!rows.empty() && used() + std::max(slowest, 1.0) > searchSeconds) break;
    const int index = rows.empty() ? 0 : rows.back().index + 1;
    const Settings profile = suite::ProfileFor(index, SettingsOf(Best(rows)), o.seed, s.judge);
    rows.push_back(Measure(o, s, baseline, index, profile, OutDir(o) / "runs"));
    Append(table, s, rows.back());
    slowest = std::max(slowest, rows.back().seconds);
    std::fprintf(stderr, "profile %d: max regret %.4f (best so far %.4f); %.0f of %.0f min used\n",
                 index, rows.back().maxRegret, Best(rows)->maxRegret, used() / 60.0, o.minutes);
  }
  const std::vector<Tried> confirmed = Confirm(o, s, rows);
  // Over every sitting of a resumed run: the profiles' own playing time.
  double minutes = 0.0;
  for (const Tried& t : rows) minutes += t.seconds / 60.0;
  for (const Tried& t : confirmed) minutes += t.seconds / 60.0;
  WriteResult(o, s, rows, confirmed, minutes);
}

}  // namespace

void AddTuneCommand(CLI::App& app) {
  auto o = std::make_shared<TuneOptions>();
  CLI::App* tune = app.add_subcommand(
      "tune",
      "Search the NeuralNet and Rewards settings, within their documented ranges, for the "
      "profile under which the learned policy's largest regret over a suite's variants is "
      "smallest; the best few are measured again on fresh seeds, and that measurement chooses. "
      "Writes DIR/config.ini and the table of every profile tried (DIR/tune.txt, DIR/tune.tsv). "
      "Stopped and started again with the same arguments, it resumes");
  tune->add_option("--suite", o->suite, "The tuning suite (JSON)")->required();
  tune->add_option("--out", o->out, "Folder for the runs, the table and config.ini")->required();
  tune->add_option(
          "--minutes", o->minutes,
          "Wall-clock budget; the search starts no profile past four fifths of it, and the rest "
          "measures the best few again on fresh seeds")
      ->check(CLI::Range(0.1, 10000.0))
      ->capture_default_str();
  tune->add_option("--profiles", o->maxProfiles, "At most this many profiles")
      ->check(CLI::Range(1, 100000));
  tune->add_option("--jobs", o->jobs, "Matches at once (default: one per core)")
      ->check(CLI::Range(0, 64));
  tune->add_option("--seed", o->seed, "Seed of the search's own draws")->capture_default_str();
  tune->add_option("--mod-binary", o->play.modBinary,
                   "The mod module to install (default: the one next to kvr-sim)");
  tune->add_option("--nav-cache", o->play.navCacheDir,
                   "Folder for cached navmesh builds (\"none\" builds every time)");
  tune->callback([o] {
    std::error_code ec;
    fs::create_directories(fs::path(platform::Utf8ToWide(o->out)), ec);
    RunTune(*o);
  });
}

}  // namespace kvr::sim::cli
