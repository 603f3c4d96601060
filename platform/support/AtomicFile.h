//===- AtomicFile.h - Files written whole or not at all -------------------===//
//
// Every description, configuration file and result this system writes is
// written one way: a temporary name in the destination's folder, the bytes,
// fsync, then the final name (a rename, or a link that fails rather than
// replace an existing file), then fsync of the folder, so that after a crash
// the name holds the old file or the whole new one.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <string>

enum class ExistingFile { kReplace, kKeep };

// Writes text to path whole; 0 or the system error number.  With kKeep an
// existing path is left alone and EEXIST returned.
ZY_PLATFORM_API int WriteFileAtomically(const std::string& path,
                                        const std::string& text,
                                        ExistingFile existing,
                                        int mode = 0644);
