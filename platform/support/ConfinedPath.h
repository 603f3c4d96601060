//===- ConfinedPath.h - Paths that stay inside a root folder --------------===//
//
// Every name that reaches a path from outside (a VM name in a request, a
// disk's index name, a file a description names) could lead out of the
// folders the user gave: "../../etc" as a VM name, a disk file that is a
// symbolic link to /etc/shadow, a VM folder that links elsewhere.  These
// helpers are the one place that decides whether a path stays inside:
//
//   - a name from outside must be one path component;
//   - a path is resolved below its root without following any symbolic
//     link: openat2 with RESOLVE_BENEATH and RESOLVE_NO_SYMLINKS where the
//     kernel has it, otherwise a walk of every component with O_NOFOLLOW;
//   - a link on the way is refused with one line naming it.
//
// Inside a root no link is followed at all, not only the ones that leave
// it: a link that stays inside today can be pointed outside tomorrow.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <sys/types.h>

#include <string>

// True for a name that is exactly one path component: not empty, not "."
// or "..", no "/" or "\", no NUL, at most 255 bytes.
ZY_PLATFORM_API bool IsSingleComponent(const std::string& name);

// The path as an absolute, lexically normal path (no "." or ".."
// components, no repeated or trailing separators); symbolic links are not
// resolved.
ZY_PLATFORM_API std::string AbsoluteNormalPath(const std::string& path);

// True when path (absolute, or relative to the working folder) is root or
// lies below it, judged on the names alone; relative receives the part
// below the root ("" for the root itself).
ZY_PLATFORM_API bool IsBeneath(const std::string& root, const std::string& path,
                               std::string* relative = nullptr);

// Opens path, which must lie beneath root, with open(2) flags and mode,
// following no symbolic link below the root (the root itself may be one).
// Returns the descriptor, or -1 with error set to one line: "[path] is
// outside [root]", "[path] is reached through the symbolic link [link];
// links are not followed below [root]", or the system's reason.
ZY_PLATFORM_API int OpenBeneath(const std::string& root,
                                const std::string& path, int flags, mode_t mode,
                                std::string& error);

// Checks that path lies beneath root and that none of its components that
// exist is a symbolic link (for a path handed on to code that opens it by
// name).  False with error set as OpenBeneath sets it.
ZY_PLATFORM_API bool CheckBeneath(const std::string& root,
                                  const std::string& path, std::string& error);

// Creates the folder path beneath root with its missing parents, following
// no link; an existing folder is success.  False with error set.
ZY_PLATFORM_API bool CreateFoldersBeneath(const std::string& root,
                                          const std::string& path,
                                          std::string& error);

// Copies the regular file from (beneath fromRoot) to the new file to
// (beneath toRoot), both opened by OpenBeneath, the new file with O_EXCL so
// that nothing is replaced; a partial copy is removed.  False with error.
ZY_PLATFORM_API bool CopyFileBeneath(const std::string& fromRoot,
                                     const std::string& from,
                                     const std::string& toRoot,
                                     const std::string& to, std::string& error);
