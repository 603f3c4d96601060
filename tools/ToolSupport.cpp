//===- ToolSupport.cpp - Output, logging and progress of zyvmconvert ------===//
#include "ToolSupport.h"

#include "UserText.h"

#include "jobs/PlatformSetup.h"
#include "platform/support/EvDebug.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstdarg>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace zytool {
namespace {

std::FILE* g_out = stdout;
std::string g_logPath;
std::shared_ptr<LogSink> g_logSink;  // null: the platform's default sink
bool g_logOnTerminal = false;

// The platform log: appended to a file, and mirrored on standard error with
// --verbose.  Lines above ZY_LOG_LEVEL (default 2) are dropped, as by the
// platform's own sink.
class ToolLogSink : public LogSink {
 public:
  ToolLogSink(std::FILE* file, bool mirror)
      : file_(file), mirror_(mirror), threshold_(LogLevelThreshold()) {}
  ~ToolLogSink() override {
    if (file_) std::fclose(file_);
  }
  void Write(const LogRecord& record) override {
    if (record.level > threshold_) return;
    std::string line = FormatLogRecord(record);
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) {
      std::fprintf(file_, "%s\n", line.c_str());
      std::fflush(file_);
    }
    if (mirror_) std::fprintf(stderr, "%s\n", line.c_str());
  }

 private:
  std::mutex mutex_;
  std::FILE* file_;
  bool mirror_;
  int threshold_;
};

// --log, else ZY_LOG_FILE; empty: the default log.
std::string NamedLog(const GlobalOptions& options) {
  if (!options.logFile.empty()) return options.logFile;
  const char* env = std::getenv("ZY_LOG_FILE");
  return env ? env : "";
}

}  // namespace

void SetUpConsole(const GlobalOptions& options) {
  std::fflush(stdout);
  // Our results keep the original standard output ...
  int results = ::dup(STDOUT_FILENO);
  if (results >= 0) {
    ::fcntl(results, F_SETFD, FD_CLOEXEC);
    if (std::FILE* out = ::fdopen(results, "w")) g_out = out;
  }
  // ... and what the library prints there goes nowhere: each of its lines
  // is a log line too, which --verbose shows.
  int sink = ::open("/dev/null", O_WRONLY);
  if (sink >= 0) {
    ::dup2(sink, STDOUT_FILENO);
    ::close(sink);
  }
  std::string named = NamedLog(options);
  g_logPath = PlatformLogPath(named);
  std::FILE* log = nullptr;
  SJobError error;
  Require(OpenPlatformLog(g_logPath, !named.empty(), log, error), error);
  if (!log) g_logPath.clear();
  g_logOnTerminal = options.verbose;
  g_logSink = std::make_shared<ToolLogSink>(log, options.verbose);
  UseLogSink(g_logSink);
  if (!options.platformConfig.empty())
    ::setenv("ZY_PLATFORM_CONFIG", options.platformConfig.c_str(), 1);
  // A configuration the user named that cannot be used is a failure, not a
  // run without clients.
  if (const char* config = std::getenv("ZY_PLATFORM_CONFIG"); config && *config)
    Require(CheckPlatformConfig(config, error), error);
}

std::FILE* Out() { return g_out; }

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(g_out, format, args);
  va_end(args);
}

const std::string& LogPath() { return g_logPath; }

std::string OptionalPlatformRoot(const GlobalOptions& options) {
  std::string root = options.root;
  if (root.empty())
    if (const char* env = std::getenv("ZY_PLATFORM_ROOT")) root = env;
  return root.empty() ? root : RequirePlatformRoot(options);
}

std::string RequirePlatformRoot(const GlobalOptions& options) {
  std::string root = options.root;
  if (root.empty())
    if (const char* env = std::getenv("ZY_PLATFORM_ROOT")) root = env;
  if (root.empty())
    throw ToolError(
        "no platform root: give --root FOLDER or set ZY_PLATFORM_ROOT");
  SJobError error;
  Require(UseFolderPlatformAt(root, error), error);
  return root;
}

std::string HumanBytes(uint64_t bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0)
    std::snprintf(text, sizeof text, "%llu B",
                  static_cast<unsigned long long>(bytes));
  else
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

ProgressBar::ProgressBar(std::string label, uint64_t total)
    : label_(std::move(label)),
      total_(total),
      enabled_(::isatty(STDERR_FILENO) && !g_logOnTerminal),
      started_(NowSeconds()) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(uint64_t done, uint64_t total,
                         const std::string& note) {
  total_ = total;
  note_ = note;
  if (!enabled_ || finished_) return;
  double now = NowSeconds();
  if (now - lastDrawn_ < 0.1) return;  // ten redraws a second are plenty
  lastDrawn_ = now;
  Draw(done, false);
}

void ProgressBar::Finish() {
  if (!enabled_ || finished_) return;
  finished_ = true;
  Draw(total_, true);
}

void ProgressBar::Draw(uint64_t done, bool last) {
  constexpr int kWidth = 30;
  double fraction =
      total_ ? static_cast<double>(done) / static_cast<double>(total_) : 1.0;
  if (fraction > 1) fraction = 1;
  int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, '.');
  double elapsed = NowSeconds() - started_;
  uint64_t rate =
      elapsed > 0 ? static_cast<uint64_t>(static_cast<double>(done) / elapsed)
                  : 0;
  std::fprintf(stderr, "\r%-24.24s [%s] %3d%%  %s/s %s\033[K%s",
               label_.c_str(), bar.c_str(), static_cast<int>(fraction * 100),
               HumanBytes(rate).c_str(), last ? "" : note_.c_str(),
               last ? "\n" : "");
  std::fflush(stderr);
}

void ConsoleObserver::OnDiskProgress(const std::string& label, uint64_t done,
                                     uint64_t total) {
  if (total_) {
    shares_.Set(label, done, total);
    return;
  }
  // The bar starts with the first block, when the virtual size is known.
  std::unique_ptr<ProgressBar>& bar = bars_[label];
  if (!bar) bar = std::make_unique<ProgressBar>(label, total);
  bar->Update(done);
}

void ConsoleObserver::OnDiskDone(const std::string& label) {
  bars_.erase(label);  // the bar's last line is drawn as it goes
  shares_.Drop(label);
}

void ConsoleObserver::OnTotalProgress(uint64_t done, uint64_t total) {
  if (!total_) total_ = std::make_unique<ProgressBar>("all disks", total);
  std::string note;
  for (const auto& shown : shares_.Running())
    note += " " + shown.first + " " + std::to_string(shown.second) + "%";
  total_->Update(done, total, note);
  if (shares_.Running().empty() && done >= total) total_->Finish();
}

void ConsoleObserver::OnWarning(const std::string& text) {
  std::fprintf(stderr, "zyvmconvert: warning: %s\n", ForTheUser(text).c_str());
}

void ConsoleObserver::OnNote(const std::string& text) {
  std::fprintf(stderr, "zyvmconvert: note: %s\n", text.c_str());
}

void Require(bool ok, const SJobError& error) {
  if (!ok) throw ToolError(error.text, error.exitCode);
}

}  // namespace zytool
