//===- BoundedFile.h - Whole small files read safely -----------------------===//
//
// Every configuration file, description, request and settings file this
// system reads comes from a backup or a person, so it is read one way: a
// regular file only (a FIFO or a device under the name is refused at once,
// never waited on), and never more than a fixed number of bytes.  A caller
// that must not follow links checks the path first (ConfinedPath.h).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <cstddef>
#include <string>

// The largest configuration file, description or request read: 16 MiB is
// hundreds of times the largest real one, and bounds the memory a hostile
// file can take.
constexpr std::size_t kMaxInputFileBytes = 16 * 1024 * 1024;

// Reads the whole regular file at path into content.  On failure returns
// false and sets error to one line naming the file and the reason ("[path]
// is not a regular file", "[path] is too large (N bytes, at most M)",
// "cannot open [path]: No such file or directory").
ZY_PLATFORM_API bool ReadBoundedFile(const std::string& path,
                                     std::string& content, std::string& error,
                                     std::size_t limit = kMaxInputFileBytes);
