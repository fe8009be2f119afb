// kvr-sim match --level FILE|default --thugs N --minutes M --seed S --mod-dir DIR
//               [--policy learned|random|rule] [--report DIR]
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "match_jobs.h"
#include "sim/match/match_run.h"
#include "sim/report/report_files.h"

namespace kvr::sim::cli {

namespace {

// One line on standard error, redrawn in place.
void DrawProgress(const MatchProgress& p) {
  constexpr int kWidth = 30;
  const double done = p.totalSeconds > 0 ? p.simSeconds / p.totalSeconds : 1.0;
  const int filled = static_cast<int>(done * kWidth + 0.5);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kWidth] = '\0';
  const double speed = p.wallSeconds > 0 ? p.simSeconds / p.wallSeconds : 0.0;
  std::fprintf(stderr, "\r[%s] %5.1f / %.1f simulated min, %llu episodes, %.0fx real time ", bar,
               p.simSeconds / 60.0, p.totalSeconds / 60.0,
               static_cast<unsigned long long>(p.episodes), speed);
  std::fflush(stderr);
}

CLI::Validator PolicyValidator() {
  return CLI::Validator(
      [](std::string& text) {
        report::Policy p;
        if (report::ParsePolicy(text, p)) return std::string();
        std::string styles;
        for (int i = 0; i < aps::kStyleCount; ++i)
          styles += std::string(i ? ", " : "") + aps::Style(i).name;
        return "unknown policy \"" + text + "\" (learned, random, rule or fixed:<style>, " +
               "a style of " + styles + ")";
      },
      "POLICY");
}

struct MatchCliOptions {
  MatchOptions match;
  std::string policy = "learned";
  bool progress = true;
};

}  // namespace

void AddMatchCommand(CLI::App& app) {
  auto options = std::make_shared<MatchCliOptions>();
  options->match.play.minutes = 30.0;
  CLI::App* match = app.add_subcommand(
      "match",
      "Play the arena under a style policy with the mod loaded as the mod host loads it; print "
      "the summary table and write the report folder (summary.json, learning.csv/svg, "
      "routes.svg, and the config.ini, brain.kvrb and log the mod wrote)");
  AddArenaOptions(match, options->match.play);
  match
      ->add_option("--mod-dir", options->match.play.modDir,
                   "The mod folder (DIR/dlls/main.dll is installed there; its config.ini gets "
                   "the policy's settings; brain.kvrb is kept and goes on learning)")
      ->required();
  match
      ->add_option("--policy", options->policy,
                   "learned: the network as configured; random: ExploreStart = ExploreMin = 1; "
                   "rule: NeuralTactics = 0 (the emptier-side rule); fixed:<style> (e.g. "
                   "\"fixed:Arc Left\"): a brain whose networks always choose that style, with "
                   "exploration, evolution and replay off. The settings and brain it needs "
                   "apply to this match only: the user's files are put back afterwards")
      ->check(PolicyValidator())
      ->capture_default_str();
  match->add_option("--report", options->match.reportDir, "Folder for the report files");
  match->add_flag("!--no-progress", options->progress,
                  "No progress bar (it is drawn only when standard error is a terminal)");
  match->callback([options] {
    MatchOptions o = options->match;
    report::ParsePolicy(options->policy, o.policy);
#if defined(_WIN32)
    o.platform = "windows";
#else
    o.platform = "native";
#endif
    const bool bar = options->progress && StderrIsTerminal();
    if (bar) o.onProgress = DrawProgress;
    MatchResult result;
    std::string error;
    // A folder that cannot take the report must fail before the match changes the brain.
    if (!o.reportDir.empty() && !report::PrepareReportFolder(o.reportDir, error)) {
      std::cerr << "kvr-sim match: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
    const bool ok = RunMatch(o, result, error);
    if (bar) std::fputs("\n", stderr);
    if (!ok) {
      std::cerr << "kvr-sim match: " << error << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
    std::cout << report::SummaryTable(result.summary);
    if (o.reportDir.empty()) return;
    if (!result.reportError.empty()) {
      std::cerr << "kvr-sim match: " << result.reportError << "\n";
      throw CLI::RuntimeError(kExitBadInput);
    }
    std::cout << "report: " << o.reportDir << "\n";
  });
}

}  // namespace kvr::sim::cli
