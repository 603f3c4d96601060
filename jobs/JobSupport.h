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

#include <memory>
#include <stdexcept>
#include <string>

namespace zyjobs {

// Installs sink as the platform log's sink, the one FailureWatch and
// QuietLog return to.
void UseLogSink(std::shared_ptr<LogSink> sink);

// A failure inside a job; never leaves the library.
class JobFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs body, turning what it throws into error; true when it succeeded.
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
// JobFailure when it is empty, has a control character, or starts or ends
// with a blank.  what names it in the error ("VM name").
void CheckName(const std::string& name, const std::string& what);

// Seconds on a monotonic clock.
double NowSeconds();

}  // namespace zyjobs
