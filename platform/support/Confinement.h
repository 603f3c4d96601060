//===- Confinement.h - Folders a child may reach --------------------------===//
//
// A child that reads a hostile image is kept by the kernel (Landlock, Linux
// 5.13 and later) to the folders it is given: the source image's folder to
// read, the destination's folder to read and write, and the system files a
// dynamically linked program needs to start.  An image that names a data
// file elsewhere then fails with a permission error even when our own
// checks of the image miss it.  Where the kernel has no Landlock the child
// runs unconfined and this is logged once.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <string>
#include <vector>

// Folders (or files) a child may read, folders it may also write in, and
// folders it keeps its own state in: there it may also make and remove
// folders, sockets, pipes and links (a daemon's run and state folders).
// All empty: the child is not confined.
struct ChildFolders {
  std::vector<std::string> read;
  std::vector<std::string> write;
  std::vector<std::string> state;
  bool Empty() const { return read.empty() && write.empty() && state.empty(); }
};

// The kernel's Landlock ABI version, 0 when it has none (or it is off).
ZY_PLATFORM_API int LandlockAbi();

// A Landlock ruleset (close-on-exec descriptor) allowing what folders name
// plus the system's program and library folders, for a child of program;
// -1 when the kernel has no Landlock (logged once), -2 with errnum set when
// a rule cannot be made.
ZY_PLATFORM_API int ConfinementRuleset(const ChildFolders& folders,
                                       const std::string& program, int& errnum);

// In a forked child before exec, async-signal-safe: no new privileges, then
// the ruleset.  0 or the errno of the failure.
int RestrictSelf(int ruleset);
