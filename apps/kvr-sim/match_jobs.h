// Matches as separate `kvr-sim match` processes, several at once (a study, a suite, a tuning
// run), with a progress line per finished run and a bar when standard error is a terminal.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace kvr::sim::cli {

struct MatchJob {
  std::string label;          // what the progress line calls the run
  std::string group;          // the suite variant it belongs to, if any
  std::filesystem::path dir;  // the run's folder: KorvathPalimarNeuralNav/, report/, match.txt
  std::string args;           // match options besides --mod-dir, --report and --no-progress
  // Matches played first in the same mod folder (their reports in pretrain-K/, their output in
  // pretrain-K.txt): the brain they leave is the one the judged match starts from.
  std::vector<std::string> pretrainArgs;
  std::string configFrom;     // a config.ini put into the fresh mod folder first; empty = none
  bool keepFinished = false;  // a run whose report/summary.json exists is not played again
  int status = -1;            // the match's exit status
  double seconds = 0.0;       // wall time; 0 for a kept run
};

// Runs every job, `parallel` at a time (0 = one per core); each starts in an emptied folder so
// that it replays from its seed alone.
void RunMatchJobs(std::vector<MatchJob>& jobs, int parallel);

// Whether standard error is a terminal: progress bars are redrawn in place only there.
bool StderrIsTerminal();

// A shell word for the command line.
std::string Quote(const std::string& arg);

std::string Utf8(const std::filesystem::path& p);

// "fixed:Arc Left" -> "fixed-Arc-Left": a policy's name as part of a folder name.
std::string FolderWord(const std::string& text);

}  // namespace kvr::sim::cli
