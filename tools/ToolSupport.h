//===- ToolSupport.h - Output, logging and progress of zyvmconvert --------===//
//
// The tool keeps its terminal readable: its own results go to the standard
// output it was started with, the platform log goes to a file, and the lines
// the converter prints on standard output by design (its progress lines) are
// dropped (each is a log line too), not mixed into the results.  With
// --verbose the log goes to standard error as well.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "jobs/Job.h"
#include "jobs/JobSupport.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zytool {

using namespace zyjobs;

// A failure the tool reports as its one-line error, and its exit status.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& text, int exitCode = 1)
      : std::runtime_error(text), exitCode(exitCode) {}
  int exitCode;
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
  // note follows the rate on the line (the disks' shares of a VM's copy).
  void Update(uint64_t done, uint64_t total, const std::string& note = "");
  void Update(uint64_t done) { Update(done, total_, note_); }
  void Finish();

 private:
  void Draw(uint64_t done, bool last);
  std::string note_;
  std::string label_;
  uint64_t total_;
  bool enabled_;
  bool finished_ = false;
  double started_;
  double lastDrawn_ = 0;
};

// "1.5 GiB", "512 B".
std::string HumanBytes(uint64_t bytes);

// What a job tells while it runs, on standard error: a progress bar for a
// lone disk, one bar for a VM's disks with each running disk's share
// ("all disks [###...] 40% ... web01.vhdx 62% web01_1.vhdx 18%"), warnings
// and notes ("zyvmconvert: warning: ...").
class ConsoleObserver : public IJobObserver {
 public:
  void OnDiskProgress(const std::string& label, uint64_t done,
                      uint64_t total) override;
  void OnDiskDone(const std::string& label) override;
  void OnTotalProgress(uint64_t done, uint64_t total) override;
  void OnWarning(const std::string& text) override;
  void OnNote(const std::string& text) override;

 private:
  std::map<std::string, std::unique_ptr<ProgressBar>> bars_;
  std::unique_ptr<ProgressBar> total_;  // a VM's disks, once told
  DiskShares shares_;  // the running disks' shares of the total
};

// Throws ToolError with the job's line unless ok.
void Require(bool ok, const SJobError& error);

}  // namespace zytool
