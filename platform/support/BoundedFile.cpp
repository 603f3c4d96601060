//===- BoundedFile.cpp - Whole small files read safely ---------------------===//
#include "platform/support/BoundedFile.h"
#include "platform/support/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string TooLarge(const std::string& path, unsigned long long size,
                     std::size_t limit) {
  return "[" + path + "] is too large (" + std::to_string(size) +
         " bytes, at most " + std::to_string(limit) + ")";
}

}  // namespace

bool ReadBoundedFile(const std::string& path, std::string& content,
                     std::string& error, std::size_t limit) {
  content.clear();
  // O_NONBLOCK: a FIFO under the name must not stall the caller.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    error = "cannot open [" + path + "]: " + std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "[" + path + "] is not a regular file";
    return false;
  }
  if (static_cast<unsigned long long>(info.st_size) > limit) {
    error = TooLarge(path, static_cast<unsigned long long>(info.st_size), limit);
    return false;
  }
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = "cannot read [" + path + "]: " + std::strerror(errno);
      content.clear();
      return false;
    }
    if (got == 0) return true;
    // The file grew while being read.
    if (content.size() + static_cast<std::size_t>(got) > limit) {
      error = TooLarge(path, content.size() + static_cast<std::size_t>(got), limit);
      content.clear();
      return false;
    }
    content.append(buffer, static_cast<std::size_t>(got));
  }
}
