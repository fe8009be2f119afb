#include "match_jobs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "platform/file.h"
#include "platform/module.h"
#include "platform/text.h"

namespace kvr::sim::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string SelfPath() {
  return platform::WideToUtf8(platform::ModulePathOf(reinterpret_cast<const void*>(&SelfPath)));
}

std::string ClockText(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

bool Finished(const MatchJob& job) {
  std::error_code ec;
  return fs::is_regular_file(job.dir / "report" / "summary.json", ec) &&
         fs::is_regular_file(job.dir / "report" / "mod.log", ec);
}

int PlayOne(const MatchJob& job, const std::string& args, const std::string& name) {
  const fs::path mod = job.dir / "KorvathPalimarNeuralNav";
  const std::string cmd = Quote(SelfPath()) + " match --no-progress " + args + " --mod-dir " +
                          Quote(Utf8(mod)) + " --report " + Quote(Utf8(job.dir / name)) + " > " +
                          Quote(Utf8(job.dir / (name == "report" ? "match.txt" : name + ".txt"))) +
                          " 2>&1";
  return std::system(cmd.c_str());
}

int Play(const MatchJob& job) {
  std::error_code ec;
  fs::remove_all(job.dir, ec);
  const fs::path mod = job.dir / "KorvathPalimarNeuralNav";
  fs::create_directories(mod, ec);
  if (!job.configFrom.empty()) {
    std::string text;
    if (!platform::ReadWholeFile(job.configFrom, text) ||
        platform::WriteFileReplacing(Utf8(mod / "config.ini"), text) !=
            platform::ReplaceStatus::kOk)
      return -1;
  }
  for (size_t k = 0; k < job.pretrainArgs.size(); ++k)
    if (int status = PlayOne(job, job.pretrainArgs[k], "pretrain-" + std::to_string(k + 1)))
      return status;
  return PlayOne(job, job.args, "report");
}

class Progress {
 public:
  Progress(size_t total) : total_(total), bar_(StderrIsTerminal()) {}

  void Done(const MatchJob& job, bool kept) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    if (!kept) ++played_;
    const double left =
        played_ > 0 ? elapsed / static_cast<double>(played_) * static_cast<double>(total_ - done_)
                    : 0.0;
    if (bar_) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "[%llu/%llu] %s: %s", static_cast<unsigned long long>(done_),
                 static_cast<unsigned long long>(total_), job.label.c_str(),
                 kept              ? "kept from before"
                 : job.status == 0 ? "done"
                                   : "FAILED");
    if (!kept) std::fprintf(stderr, " in %.1f s", job.seconds);
    std::fprintf(stderr, "; %s elapsed, about %s left\n", ClockText(elapsed).c_str(),
                 ClockText(left).c_str());
    if (bar_) DrawBar();
    std::fflush(stderr);
  }

 private:
  void DrawBar() const {
    constexpr size_t kWidth = 30;
    const size_t filled = total_ ? done_ * kWidth / total_ : kWidth;
    std::string bar(filled, '#');
    bar.resize(kWidth, '-');
    std::fprintf(stderr, "[%s] %llu of %llu runs", bar.c_str(),
                 static_cast<unsigned long long>(done_), static_cast<unsigned long long>(total_));
  }

  std::mutex mutex_;
  size_t total_, done_ = 0, played_ = 0;
  bool bar_;
  Clock::time_point start_ = Clock::now();
};

}  // namespace

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

std::string FolderWord(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == ':' || c == ' ' || c == '/' || c == '\\') c = '-';
  return out;
}

bool StderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

void RunMatchJobs(std::vector<MatchJob>& jobs, int parallel) {
  const int workers =
      parallel > 0 ? parallel : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  std::atomic<size_t> next{0};
  Progress progress(jobs.size());
  auto worker = [&] {
    for (size_t i; (i = next++) < jobs.size();) {
      MatchJob& job = jobs[i];
      if (job.keepFinished && Finished(job)) {
        job.status = 0;
        progress.Done(job, true);
        continue;
      }
      const auto start = Clock::now();
      job.status = Play(job);
      job.seconds = std::chrono::duration<double>(Clock::now() - start).count();
      progress.Done(job, false);
    }
  };
  std::vector<std::thread> threads;
  for (int j = 0; j < workers; ++j) threads.emplace_back(worker);
  for (std::thread& t : threads) t.join();
  if (StderrIsTerminal()) std::fputs("\n", stderr);
}

}  // namespace kvr::sim::cli
