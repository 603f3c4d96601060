//===- FXPath.cpp - Platform path, folder and file operations -------------===//
#include "platform/support/FXPath.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

const char kFile[] = "FXPath";

size_t LastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

// Copies a regular file to a new file that must not exist yet.
int CopyNoReplace(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  struct stat info {};
  if (::fstat(in, &info) != 0) {
    int err = errno;
    ::close(in);
    return err;
  }
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                   info.st_mode & 07777);
  if (out < 0) {
    int err = errno;
    ::close(in);
    return err;
  }
  char buffer[1 << 16];
  int err = 0;
  for (;;) {
    ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      err = errno;
      break;
    }
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      ssize_t put =
          ::write(out, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) {
        err = errno;
        break;
      }
      done += put;
    }
    if (err) break;
  }
  if (::close(out) != 0 && !err) err = errno;
  ::close(in);
  if (err) ::unlink(to.c_str());
  return err;
}

// Renames without replacing: renameat2(RENAME_NOREPLACE) where the file
// system has it, else a hard link and an unlink (link fails on a taken name).
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (FileOperations().renameFiles(from.c_str(), to.c_str(),
                                   RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    int err = errno;
    ::unlink(to.c_str());
    return err;
  }
  return 0;
}

int SystemRename(const char* from, const char* to, unsigned flags) {
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

}  // namespace

ZyFileOperations& FileOperations() {
  static ZyFileOperations operations{SystemRename};
  return operations;
}

std::string CQiPath::Append(const char* folder, const char* name) {
  return Append(std::string(folder ? folder : ""),
                std::string(name ? name : ""));
}

std::string CQiPath::Append(const std::string& folder,
                            const std::string& name) {
  if (folder.empty()) return name;
  if (name.empty()) return folder;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string CQiPath::GetBaseName(const char* path) {
  return GetBaseName(std::string(path ? path : ""));
}

std::string CQiPath::GetBaseName(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 &&
         (trimmed.back() == '/' || trimmed.back() == '\\'))
    trimmed.pop_back();
  size_t slash = LastSeparator(trimmed);
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string CQiPath::GetExt(const char* path) {
  return GetExt(std::string(path ? path : ""));
}

std::string CQiPath::GetExt(const std::string& path) {
  std::string base = GetBaseName(path);
  size_t dot = base.rfind('.');
  return dot == std::string::npos ? std::string() : base.substr(dot + 1);
}

CQiError CQiDirectory::Create(const char* path, bool recursive) {
  return Create(std::string(path ? path : ""), recursive);
}

CQiError CQiDirectory::Create(const std::string& path, bool recursive) {
  if (path.empty())
    return FXErrorUtil::ErrorSystem(ZY_HERE(kFile, "CQiDirectory::Create"),
                                    ENOENT, "empty folder name");
  std::error_code ec;
  if (recursive) {
    fs::create_directories(path, ec);
  } else if (!fs::create_directory(path, ec) && !ec &&
             !fs::is_directory(path)) {
    ec = std::make_error_code(std::errc::file_exists);
  }
  if (ec)
    return FXErrorUtil::ErrorSystem(ZY_HERE(kFile, "CQiDirectory::Create"),
                                    ec.value(), path);
  return CQiError::Success();
}

std::string FXPath::Append(const std::string& folder, const std::string& name,
                           int /*flags*/) {
  return CQiPath::Append(folder, name);
}

bool FXPath::DoesPathExist(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

CQiError FXFile::RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0)
    return FXErrorUtil::ErrorSystem(ZY_HERE(kFile, "FXFile::RemoveFile"), errno,
                                    path);
  return CQiError::Success();
}

CQiError FXFile::ZyMoveFileEx(const std::string& from, const std::string& to,
                              unsigned flags) {
  int err = RenameNoReplace(from, to);
  if (err == EXDEV && (flags & ZY_MOVEFILE_COPY_ALLOWED)) {
    err = CopyNoReplace(from, to);
    if (!err && ::unlink(from.c_str()) != 0) {
      err = errno;
      ::unlink(to.c_str());
    }
  }
  if (err)
    return FXErrorUtil::ErrorSystem(ZY_HERE(kFile, "FXFile::ZyMoveFileEx"), err,
                                    from + " -> " + to);
  return CQiError::Success();
}
