//===- ToolSupport.h - Output, logging and progress of zyvmconvert --------===//
//
// The tool keeps its terminal readable: its own results go to the standard
// output it was started with, the platform log goes to a file, and the lines
// the converter prints on standard output by design (its progress lines) are
// sent to the log's company, not mixed into the results.  With --verbose the
// log and those lines go to standard error as well.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace zytool {

// A failure the tool reports as its one-line error.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Settings shared by every subcommand.
struct GlobalOptions {
  std::string root;            // platform root folder (ZY_PLATFORM_ROOT)
  std::string platformConfig;  // settings and clients (ZY_PLATFORM_CONFIG)
  std::string logFile;         // platform log (ZY_LOG_FILE)
  bool json = false;
  bool verbose = false;
};

// Redirects the process's standard output as described above and installs
// the log sink.  Call once, before the library runs.
void SetUpConsole(const GlobalOptions& options);
// Where the tool's own results go.
std::FILE* Out();
// printf to Out().
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The file the platform log is appended to; empty when none could be opened.
const std::string& LogPath();

// Discards the platform log while it lives: for the library calls the tool
// makes only to ask the library's rules (the kinds table), which would
// otherwise fill the log with lines about sample disks.
class QuietLog {
 public:
  QuietLog();
  ~QuietLog();
  QuietLog(const QuietLog&) = delete;
  QuietLog& operator=(const QuietLog&) = delete;
};

// Remembers the last failure line (an Error line, or a line below level 0)
// written to the platform log while it lives, so a failed operation can be
// reported with the library's own reason.
class FailureWatch {
 public:
  FailureWatch();
  ~FailureWatch();
  FailureWatch(const FailureWatch&) = delete;
  FailureWatch& operator=(const FailureWatch&) = delete;
  // The message of the last failure line; empty when there was none.
  std::string LastFailure() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// The platform root for this run: --root, else ZY_PLATFORM_ROOT.  Throws
// ToolError when neither names one.  Registers the folder platform at that
// root as the access objects' default factory.
std::string RequirePlatformRoot(const GlobalOptions& options);
// The same when a platform root is optional: empty when none is named.
std::string OptionalPlatformRoot(const GlobalOptions& options);

// A progress bar on standard error, drawn only when that is a terminal and
// the log is not mirrored there.
class ProgressBar {
 public:
  ProgressBar(std::string label, uint64_t total);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  void Update(uint64_t done);
  void Finish();

 private:
  void Draw(uint64_t done, bool last);
  std::string label_;
  uint64_t total_;
  bool enabled_;
  bool finished_ = false;
  double started_;
  double lastDrawn_ = 0;
};

// The whole of a small input file (a request, a description): a regular
// file of at most 16 MiB, or standard input for "-".  what names it in the
// error ("restore request").  Throws ToolError with one line.
std::string ReadInputFile(const std::string& path, const std::string& what);

// A name that becomes a folder or file name (a VM, a disk): refused with
// ToolError when it is empty, has a control character, or starts or ends
// with a blank.  what names it in the error ("VM name").
void CheckName(const std::string& name, const std::string& what);

// "1.5 GiB", "512 B".
std::string HumanBytes(uint64_t bytes);
// Seconds on a monotonic clock.
double NowSeconds();

}  // namespace zytool
