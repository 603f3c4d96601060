//===- ConfinedPath.cpp - Paths that stay inside a root folder ------------===//
//
// openat2 is asked first; a kernel without it (ENOSYS) or a sandbox that
// refuses it (EPERM) gets the walk, which opens each folder with O_NOFOLLOW
// relative to the one before, so a name swapped for a link between two
// steps is still refused.
//
//===----------------------------------------------------------------------===//
#include "platform/support/ConfinedPath.h"
#include "platform/support/UniqueFd.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxComponentBytes = 255;

std::vector<std::string> Components(const std::string& relative) {
  std::vector<std::string> parts;
  for (const auto& part : fs::path(relative))
    if (!part.empty() && part != "/") parts.push_back(part.string());
  return parts;
}

using Fd = UniqueFd;

bool IsLinkAt(int dir, const std::string& name) {
  struct stat info {};
  return ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(info.st_mode);
}

int OpenAt2(int dir, const std::string& relative, int flags, mode_t mode) {
  struct open_how how {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.mode = (flags & (O_CREAT | O_TMPFILE)) ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  return static_cast<int>(
      ::syscall(SYS_openat2, dir, relative.c_str(), &how, sizeof how));
}

// The same without openat2: every folder on the way opened with
// O_NOFOLLOW from the one before.
int OpenByWalk(int root, const std::vector<std::string>& parts, int flags,
               mode_t mode) {
  Fd dir(::fcntl(root, F_DUPFD_CLOEXEC, 0));
  if (dir.get() < 0) return -1;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (IsLinkAt(dir.get(), parts[i])) {
      errno = ELOOP;
      return -1;
    }
    int next = ::openat(dir.get(), parts[i].c_str(),
                        O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return -1;
    dir.Reset(next);
  }
  return ::openat(dir.get(), parts.back().c_str(),
                  flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

// The first component of relative below root that is a symbolic link, as
// a path; empty when there is none (any more).
std::string FirstLink(const std::string& root,
                      const std::vector<std::string>& parts) {
  std::string path = root;
  for (const std::string& part : parts) {
    path += (path.empty() || path.back() != '/' ? "/" : "") + part;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::string();
    if (S_ISLNK(info.st_mode)) return path;
  }
  return std::string();
}

std::string LinkError(const std::string& root, const std::string& path,
                      const std::string& link) {
  return "[" + path + "] is reached through the symbolic link [" + link +
         "]; links are not followed below [" + root + "]";
}

std::string OutsideError(const std::string& root, const std::string& path) {
  return "[" + path + "] is outside [" + root + "]";
}

}  // namespace

bool IsSingleComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos &&
         name.find('\0') == std::string::npos &&
         name.size() <= kMaxComponentBytes;
}

std::string AbsoluteNormalPath(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) absolute = fs::path(path);
  std::string text = absolute.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool IsBeneath(const std::string& root, const std::string& path,
               std::string* relative) {
  if (root.empty() || path.empty()) return false;
  std::string base = AbsoluteNormalPath(root);
  std::string full = AbsoluteNormalPath(path);
  std::string rest;
  if (full == base) {
    rest.clear();
  } else if (base == "/") {
    rest = full.substr(1);
  } else if (full.compare(0, base.size(), base) == 0 &&
             full.size() > base.size() && full[base.size()] == '/') {
    rest = full.substr(base.size() + 1);
  } else {
    return false;
  }
  if (relative) *relative = rest;
  return true;
}

int OpenBeneath(const std::string& root, const std::string& path, int flags,
                mode_t mode, std::string& error) {
  std::string relative;
  if (!IsBeneath(root, path, &relative)) {
    error = OutsideError(root, path);
    return -1;
  }
  Fd base(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (base.get() < 0) {
    error = "cannot open [" + root + "]: " + std::strerror(errno);
    return -1;
  }
  std::vector<std::string> parts = Components(relative);
  int fd = parts.empty() ? ::openat(base.get(), ".", flags | O_CLOEXEC, mode)
                         : OpenAt2(base.get(), relative, flags, mode);
  if (fd < 0 && !parts.empty() && (errno == ENOSYS || errno == EPERM))
    fd = OpenByWalk(base.get(), parts, flags, mode);
  if (fd >= 0) return fd;
  int err = errno;
  std::string link = FirstLink(AbsoluteNormalPath(root), parts);
  if (!link.empty() || err == ELOOP || err == EXDEV)
    error = LinkError(root, path, link.empty() ? path : link);
  else
    error = "cannot open [" + path + "]: " + std::strerror(err);
  errno = err;
  return -1;
}

bool CheckBeneath(const std::string& root, const std::string& path,
                  std::string& error) {
  std::string relative;
  if (!IsBeneath(root, path, &relative)) {
    error = OutsideError(root, path);
    return false;
  }
  std::string link = FirstLink(AbsoluteNormalPath(root), Components(relative));
  if (link.empty()) return true;
  error = LinkError(root, path, link);
  return false;
}

bool CreateFoldersBeneath(const std::string& root, const std::string& path,
                          std::string& error) {
  std::string relative;
  if (!IsBeneath(root, path, &relative)) {
    error = OutsideError(root, path);
    return false;
  }
  Fd dir(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) {
    error = "cannot open [" + root + "]: " + std::strerror(errno);
    return false;
  }
  std::string made = AbsoluteNormalPath(root);
  for (const std::string& part : Components(relative)) {
    made += (made.back() == '/' ? "" : "/") + part;
    if (::mkdirat(dir.get(), part.c_str(), 0777) != 0 && errno != EEXIST) {
      error = "Cannot create folder [" + made + "]: " + std::strerror(errno);
      return false;
    }
    if (IsLinkAt(dir.get(), part)) {
      error = LinkError(root, path, made);
      return false;
    }
    int next = ::openat(dir.get(), part.c_str(),
                        O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      error = "Cannot create folder [" + made + "]: " + std::strerror(errno);
      return false;
    }
    dir.Reset(next);
  }
  return true;
}

namespace {

// Copies in to out; 0 or the system error number.
int CopyContent(int in, int out) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    for (ssize_t done = 0; done < got;) {
      ssize_t put =
          ::write(out, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return errno;
      done += put;
    }
  }
}

}  // namespace

bool CopyFileBeneath(const std::string& fromRoot, const std::string& from,
                     const std::string& toRoot, const std::string& to,
                     std::string& error) {
  Fd in(OpenBeneath(fromRoot, from, O_RDONLY | O_NONBLOCK, 0, error));
  if (in.get() < 0) return false;
  struct stat info {};
  if (::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "[" + from + "] is not a regular file";
    return false;
  }
  Fd out(OpenBeneath(toRoot, to, O_WRONLY | O_CREAT | O_EXCL,
                     info.st_mode & 0666, error));
  if (out.get() < 0) return false;
  int err = CopyContent(in.get(), out.get());
  if (::close(out.Release()) != 0 && err == 0) err = errno;
  if (err == 0) return true;
  ::unlink(to.c_str());
  error = "cannot copy [" + from + "] to [" + to + "]: " + std::strerror(err);
  return false;
}
