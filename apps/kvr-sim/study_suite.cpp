#include "study_suite.h"

#include <chrono>
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "platform/file.h"
#include "platform/text.h"

namespace kvr::sim::cli {

namespace {

namespace fs = std::filesystem;

std::string JobArgs(const suite::Variant& v, const report::Policy& policy, uint64_t seed,
                    const PlayOptions& base) {
  std::string args = "--level " + Quote(v.level) + " --thugs " + std::to_string(v.thugs) +
                     " --minutes " + std::to_string(v.minutes) + " --seed " + std::to_string(seed) +
                     " --policy " + Quote(report::PolicyName(policy));
  if (!v.rules.empty()) args += " --rules " + Quote(v.rules);
  if (!base.modBinary.empty()) args += " --mod-binary " + Quote(base.modBinary);
  if (!base.navCacheDir.empty()) args += " --nav-cache " + Quote(base.navCacheDir);
  args += " --workers " + std::to_string(base.pathWorkers);
  if (!base.engineAllocator) args += " --no-engine-allocator";
  return args;
}

bool WriteOut(const fs::path& path, const std::string& text) {
  return platform::WriteFileReplacing(Utf8(path), text) == platform::ReplaceStatus::kOk;
}

}  // namespace

suite::Suite LoadSuiteOrFail(const std::string& path, const char* command) {
  suite::Suite s;
  std::string error;
  if (!suite::LoadSuite(path, s, error)) {
    std::cerr << "kvr-sim " << command << ": " << error << "\n";
    throw CLI::RuntimeError(kExitBadInput);
  }
  return s;
}

std::vector<MatchJob> SuiteJobs(const suite::Suite& suite,
                                const std::vector<report::Policy>& policies, const fs::path& out,
                                const std::string& config, const PlayOptions& base) {
  std::vector<MatchJob> jobs;
  for (const suite::Variant& v : suite.variants)
    for (const report::Policy& p : policies)
      for (uint64_t seed : suite.seeds) {
        MatchJob job;
        job.group = v.name;
        job.label = v.name + ", " + report::PolicyName(p) + ", seed " + std::to_string(seed);
        job.dir = out / platform::Utf8ToWide(FolderWord(v.name)) /
                  platform::Utf8ToWide(FolderWord(report::PolicyName(p)) + "-seed" +
                                       std::to_string(seed));
        job.args = JobArgs(v, p, seed, base);
        if (p == report::Policy::kLearned)
          for (int k = 1; k <= suite.pretrainRuns; ++k)
            job.pretrainArgs.push_back(
                JobArgs(v, p, seed + suite::kPretrainSeedStride * static_cast<uint64_t>(k), base));
        job.configFrom = config;
        jobs.push_back(std::move(job));
      }
  return jobs;
}

bool CollectFigures(const suite::Suite& suite, const std::vector<MatchJob>& jobs,
                    std::vector<suite::RunFigures>& out, std::string& error) {
  for (const MatchJob& job : jobs) {
    suite::RunFigures f;
    if (job.status != 0) {
      error = "the run " + Utf8(job.dir) + " failed (see its match.txt)";
      return false;
    }
    if (!suite::ReadRunFigures(Utf8(job.dir / "report"), suite, f, error)) return false;
    f.variant = job.group;
    out.push_back(f);
  }
  return true;
}

void RunSuiteStudy(const SuiteStudyOptions& o) {
  const suite::Suite s = LoadSuiteOrFail(o.suitePath, "study");
  const fs::path out(platform::Utf8ToWide(o.out));
  std::vector<MatchJob> jobs = SuiteJobs(s, s.policies, out, o.config, o.play);
  const auto start = std::chrono::steady_clock::now();
  RunMatchJobs(jobs, o.jobs);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<suite::RunFigures> figures;
  std::string error;
  if (!CollectFigures(s, jobs, figures, error)) {
    std::cerr << "kvr-sim study: " << error << "\n";
    throw CLI::RuntimeError(kExitBadInput);
  }
  const suite::SuiteResult result = suite::SummarizeSuite(s, figures);
  const std::string profile = o.config.empty() ? "the default settings" : o.config;
  const std::string title =
      "Suite " + s.name + " under " +
      (o.config.empty() ? std::string("the default settings")
                        : fs::path(platform::Utf8ToWide(o.config)).filename().string()) +
      " - judged reward per policy, " + std::to_string(s.seeds.size()) +
      (s.seeds.size() == 1 ? " seed" : " seeds");
  const std::string table = suite::SuiteTable(result);
  bool ok = WriteOut(out / "suite.json", suite::SuiteJson(result)) &&
            WriteOut(out / "suite.svg", suite::SuiteSvg(result, title)) &&
            WriteOut(out / "suite.txt", title + "\n" + table);
  for (const suite::VariantResult& v : result.variants)
    ok = ok && WriteOut(out / platform::Utf8ToWide(FolderWord(v.name)) / "table.txt",
                        suite::VariantTable(result, v));
  if (!ok) {
    std::cerr << "kvr-sim study: cannot write into " << o.out << "\n";
    throw CLI::RuntimeError(kExitBadInput);
  }
  std::cout << title << "\n" << table;
  std::printf("%llu runs in %.1f s of wall time (%s); files in %s\n",
              static_cast<unsigned long long>(jobs.size()), wall, profile.c_str(), o.out.c_str());
}

}  // namespace kvr::sim::cli
