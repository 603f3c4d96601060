//===- RunLock.cpp - One run at a time for one thing being built ----------===//
#include "platform/support/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A holder writes its pid right after it took the lock; a reader that
// comes in between waits for it this many times a millisecond.
constexpr int kPidReadAttempts = 200;
// A lock file removed between open and flock is opened again; each time
// another run released it, so the attempts end quickly.
constexpr int kTakeAttempts = 100;

pid_t ReadHolder(int fd) {
  for (int attempt = 0; attempt < kPidReadAttempts; ++attempt) {
    char text[32] = {};
    ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n > 0 && text[n - 1] == '\n') return std::atoi(text);
    ::usleep(1000);
  }
  return 0;
}

// True when fd is still the file at path.
bool StillNamed(int fd, const std::string& path) {
  struct stat held {}, named {};
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

bool CRunLock::Take(const std::string& path, pid_t& holder,
                    std::string& error) {
  holder = 0;
  if (Held()) {
    error = "the lock is already held";
    return false;
  }
  for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                    0644);
    if (fd < 0) {
      error = std::strerror(errno);
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int err = errno;
      if (err == EWOULDBLOCK) holder = ReadHolder(fd);
      ::close(fd);
      error = err == EWOULDBLOCK ? "held by another run" : std::strerror(err);
      return false;
    }
    if (!StillNamed(fd, path)) {  // its holder removed it as we came in
      ::close(fd);
      continue;
    }
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, pid.data(), pid.size(), 0) !=
            static_cast<ssize_t>(pid.size())) {
      error = std::strerror(errno);
      ::unlink(path.c_str());
      ::close(fd);
      return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
  }
  error = "the lock file keeps being replaced";
  return false;
}

void CRunLock::Release() {
  if (fd_ < 0) return;
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  path_.clear();
}
