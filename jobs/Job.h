//===- Job.h - What every job reports, and how ----------------------------===//
//
// The jobs (a restore, a conversion from files, a physical machine's
// translation, a disk copy) never print and never throw to their caller:
// each returns false with an SJobError on failure, and tells an observer
// what happens while it runs (a disk's progress, warnings, notes).  A
// command line prints those; a service logs them.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>

namespace zyjobs {

// Why a job failed: one line, and the exit status a command line gives it.
struct SJobError {
  std::string text;
  int exitCode = 1;
};

// What a job tells while it runs; every call comes from the job's own
// thread (disks copied side by side report through it).  The defaults
// ignore everything.
class IJobObserver {
 public:
  virtual ~IJobObserver() = default;
  // done of total bytes of the disk image called label copied.
  virtual void OnDiskProgress(const std::string& label, uint64_t done,
                              uint64_t total);
  // The copy of label ended (whole, or removed after a failure).
  virtual void OnDiskDone(const std::string& label);
  // done of total bytes of all the disks of a VM copied; a disk not yet
  // begun counts with the size its record gives.
  virtual void OnTotalProgress(uint64_t done, uint64_t total);
  // Something the job went on with, yet the user should know of.
  virtual void OnWarning(const std::string& text);
  // Something the job did on its own (a left-over staging folder removed).
  virtual void OnNote(const std::string& text);
};

// An observer that ignores everything.
IJobObserver& NoObserver();

}  // namespace zyjobs
