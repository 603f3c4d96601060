//===- JobSupport.h - What the jobs share inside the library --------------===//
//
// Inside the jobs a failure is a JobFailure exception carrying its one line;
// every public function of the jobs catches it at its boundary (AtBoundary)
// and returns it as an SJobError.  The platform log is watched for the
// library's own reason of a failure (FailureWatch) or silenced for a
// question (QuietLog); both hand the log back to the sink the caller
// installed with UseLogSink.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"

#include "platform/support/EvDebug.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zyjobs {

// Installs sink as the platform log's sink, the one FailureWatch and
// QuietLog return to.
void UseLogSink(std::shared_ptr<LogSink> sink);

// The level above which a sink drops the platform log's lines, as the
// platform's own sink does: ZY_LOG_LEVEL, default 2.
int LogLevelThreshold();

// A failure inside a job; never leaves the library.
class JobFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws JobFailure when a signal asked the run to stop (StopRequest.h):
// called between a job's steps.
void StopIfAsked();

// The error of a run a signal stopped: one line saying so, and the exit
// status 128 + the signal; false when no signal asked.
bool StoppedError(SJobError& error);

// Runs body, turning what it throws into error; true when it succeeded.
// Whatever failed after a signal asked the run to stop (a child killed, a
// call interrupted), the error says that the run was stopped.  The body's
// own objects have removed what the run made before error is set.
template <class Body>
bool AtBoundary(SJobError& error, Body&& body) {
  try {
    body();
    return true;
  } catch (const JobFailure& e) {
    error = {e.what(), 1};
  } catch (const std::exception& e) {
    error = {std::string("unexpected failure: ") + e.what(), 1};
  }
  StoppedError(error);
  return false;
}

// Discards the platform log while it lives: for the library calls made only
// to ask the library's rules, which would otherwise fill the log.
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

// The whole of a small input file (a request, a description): a regular
// file of at most 16 MiB, or standard input for "-".  what names it in the
// error ("restore request").  Throws JobFailure with one line.
std::string ReadInputFile(const std::string& path, const std::string& what);

// A name that becomes a folder or file name (a VM, a disk): refused with
// JobFailure when it is empty, is not UTF-8, has a control character (C0,
// DEL, C1) or a bidirectional formatting character (U+202A to U+202E,
// U+2066 to U+2069: they make a name read otherwise than it sorts and
// opens), or starts or ends with a blank.  The error names the byte where
// the name goes wrong.  what names it in the error ("the VM name").
void CheckName(const std::string& name, const std::string& what);

// Refuses, with JobFailure naming the field (what) and the file, a name
// that the run makes (names: the file names it becomes, with their
// prefixes and suffixes) longer than the file system of folder (or of its
// nearest existing parent) allows.
void CheckNameLengths(const std::string& folder, const std::string& what,
                      const std::vector<std::string>& names);

// Seconds on a monotonic clock.
double NowSeconds();

// For an observer of a VM's copy: the disks being copied, in the order they
// started, and each one's share done in percent.
class DiskShares {
 public:
  // From OnDiskProgress; a disk of total 0 is whole.
  void Set(const std::string& label, uint64_t done, uint64_t total);
  // From OnDiskDone.
  void Drop(const std::string& label);
  const std::vector<std::pair<std::string, int>>& Running() const {
    return running_;
  }

 private:
  std::vector<std::pair<std::string, int>> running_;  // label, percent
};

}  // namespace zyjobs
