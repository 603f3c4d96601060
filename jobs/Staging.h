//===- Staging.h - Where a restore puts the files it restores -------------===//
//
// A restore copies the backed-up files somewhere before the destination
// takes them.  Whatever happens to the run, nothing of that may stay:
//   - a staging folder a restore makes is ".staging-XXXXXX" in the platform
//     root, locked (flock on the folder) for as long as the run lives; a
//     later run finds such folders whose lock nobody holds (their run was
//     killed) and removes them, telling the observer;
//   - files staged in a folder the request named are removed when the run
//     ends, as is that folder when the run made it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"

#include <string>
#include <vector>

namespace zyjobs {

// Removes the staging folders in root that no running restore holds, each
// with a note to observer.
void RemoveAbandonedStaging(const std::string& root, IJobObserver& observer);

// A locked staging folder of this run, removed with its contents at the end.
class StagingFolder {
 public:
  explicit StagingFolder(const std::string& root);  // throws JobFailure
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int lock_ = -1;
};

// Files (and folders) a run placed in folders it does not own; removed, in
// the reverse order, when the run ends.
class StagedFiles {
 public:
  StagedFiles() = default;
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;
  void Add(const std::string& path) { paths_.push_back(path); }

 private:
  std::vector<std::string> paths_;
};

}  // namespace zyjobs
