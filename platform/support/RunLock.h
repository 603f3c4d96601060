//===- RunLock.h - One run at a time for one thing being built ------------===//
//
// A lock file that one run holds (flock) for as long as it builds what the
// file guards, with the run's process id in it.  A second run fails to take
// it at once and learns the holder's pid; a run killed outright loses the
// lock with its process.  The holder removes the file when it lets go,
// still holding the lock, and a run that took a lock on a file removed
// meanwhile tries again on the new one, so two runs never both hold it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <sys/types.h>

#include <string>

class ZY_PLATFORM_API CRunLock {
 public:
  CRunLock() = default;
  ~CRunLock() { Release(); }
  CRunLock(const CRunLock&) = delete;
  CRunLock& operator=(const CRunLock&) = delete;

  // Takes the lock at path (the file is created when missing, never
  // through a symbolic link).  False when another run holds it (holder is
  // its pid, 0 when it cannot be read) or the file cannot be opened (error
  // is the system's reason).
  bool Take(const std::string& path, pid_t& holder, std::string& error);
  // Removes the file and lets go; nothing when not held.
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string path_;
};
