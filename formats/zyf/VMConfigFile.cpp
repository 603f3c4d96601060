//===- VMConfigFile.cpp - Generalised and Amazon VM descriptions ----------===//
//
// File reading and writing around the pure format functions of
// VMConfigFormat.h.  Every failure writes exactly one EvDebug Error line that
// names the file and, where the parser knows it, the line.
//
//===----------------------------------------------------------------------===//
#include "formats/zyf/VMConfigFile.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"
#include "platform/support/ExceptionText.h"
#include "formats/common/FormatText.h"

using VMInfoStructs::SVMInfo;

namespace {

// The platform's table of Amazon instance types, when it has one.
Ec2InstanceSizes& PlatformSizes() {
  static Ec2InstanceSizes sizes;
  return sizes;
}

constexpr const char kLoadFunction[] =
    "bool VMConfigFile::Load(VMInfoStructs::SVMInfo&)";
constexpr const char kSaveFunction[] =
    "bool VMConfigFile::Save(const VMInfoStructs::SVMInfo&)";

std::string SystemError(const char* what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

// Closes a descriptor at the end of a scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result (a delayed write error shows here).
  int Close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

// Writes text to a new file beside path and renames it over path.
bool ReplaceFile(const std::string& path, const std::string& text,
                 std::string& error) {
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(&temp[0]);
  if (fd < 0) {
    error = SystemError("cannot create a file beside it", errno);
    return false;
  }
  ScopedFd file(fd);
  bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
  int err = errno;
  if (file.Close() != 0 && written) {
    written = false;
    err = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    error = SystemError("cannot write", err);
    return false;
  }
  // mkstemp creates the file private to its owner; a description is an
  // ordinary file.
  if (::chmod(temp.c_str(), 0644) != 0) {
    err = errno;
    ::unlink(temp.c_str());
    error = SystemError("cannot set the permissions of", err);
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    err = errno;
    ::unlink(temp.c_str());
    error = SystemError("cannot replace", err);
    return false;
  }
  return true;
}

}  // namespace

VMConfigFile::VMConfigFile(const std::string& path) : path_(path) {}

bool VMConfigFile::Load(SVMInfo& info) {
  try {
    return ReadDescription(info);
  } catch (...) {
    EvDebug().Error(kLoadFunction, "Cannot read VM description [%s]: %s",
                    path_.c_str(), CurrentExceptionText().c_str());
    return false;
  }
}

void VMConfigFile::SetPlatformInstanceSizes(Ec2InstanceSizes sizes) {
  PlatformSizes() = std::move(sizes);
}

bool VMConfigFile::ReadDescription(SVMInfo& info) {
  EvDebug log;
  std::string text;
  std::string error;
  if (!ReadBoundedFile(path_, text, error)) {
    log.Error(kLoadFunction, "Cannot read VM description: %s", error.c_str());
    return false;
  }
  bool ok = false;
  switch (DetectConfigTextKind(text)) {
    case ZyConfigTextKind::Zyf:
      ok = ParseZyf(text, info, error);
      break;
    case ZyConfigTextKind::Ec2Xml:
      ok = ParseEc2Description(text, info, error, PlatformSizes());
      break;
    case ZyConfigTextKind::Unknown:
      error =
          "neither a generalised description (JSON) nor an Amazon description "
          "(XML)";
      break;
  }
  if (!ok) {
    log.Error(kLoadFunction, "Invalid VM description [%s]: %s", path_.c_str(),
              error.c_str());
  }
  return ok;
}

bool VMConfigFile::Save(const SVMInfo& info) {
  std::string error;
  std::string text = WriteZyf(info, error);
  if (!text.empty() && ReplaceFile(path_, text, error))
    return true;
  EvDebug().Error(kSaveFunction, "Cannot write VM description [%s]: %s",
                  path_.c_str(), error.c_str());
  return false;
}
