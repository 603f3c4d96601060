//===- FXPath.h - Platform path, folder and file operations ---------------===//
//
// Paths are POSIX paths.  Joining puts one "/" between two parts (none when
// the first part is empty or already ends in "/").  Base names and
// extensions are taken after the last "/" or "\", since file names that
// come from Windows hosts keep their backslashes; separators at the end are
// dropped first ("a/b/" gives "b").  GetBaseName is the one base name of the
// system: the readers and the folder platform use it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"
#include "platform/support/CQiError.h"

#include <string>

class ZY_PLATFORM_API CQiPath {
 public:
  static std::string Append(const char* folder, const char* name);
  static std::string Append(const std::string& folder, const std::string& name);
  // The last component of a path.
  static std::string GetBaseName(const char* path);
  static std::string GetBaseName(const std::string& path);
  // The extension of the last component, without the dot; empty when none.
  static std::string GetExt(const char* path);
  static std::string GetExt(const std::string& path);
};

class ZY_PLATFORM_API CQiDirectory {
 public:
  // Creates the folder; with recursive true also its missing parents.  An
  // existing folder is success.
  static CQiError Create(const char* path, bool recursive);
  static CQiError Create(const std::string& path, bool recursive);
};

class ZY_PLATFORM_API FXPath {
 public:
  static std::string Append(const std::string& folder, const std::string& name,
                            int flags);
  static bool DoesPathExist(const std::string& path);
};

// The system call behind ZyMoveFileEx's rename, replaceable so that a test
// runs the path a move across file systems takes (renameat2 returning
// EXDEV) on one file system.  Internal: not exported from the library.
struct ZyFileOperations {
  // renameat2(AT_FDCWD, from, AT_FDCWD, to, flags): 0, or -1 with errno.
  int (*renameFiles)(const char* from, const char* to, unsigned flags);
};
ZyFileOperations& FileOperations();

// ZyMoveFileEx flag: across file systems, copy the file and remove the
// source instead of failing with EXDEV.
constexpr unsigned ZY_MOVEFILE_COPY_ALLOWED = 1;

class ZY_PLATFORM_API FXFile {
 public:
  // Removes a file; a missing file is an error (ENOENT).
  static CQiError RemoveFile(const std::string& path);
  // Moves a file.  Never replaces an existing destination: a taken name is
  // the system error EEXIST, and the file stays where it was.
  static CQiError ZyMoveFileEx(const std::string& from, const std::string& to,
                               unsigned flags);
};
