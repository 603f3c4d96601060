//===- PlatformSetup.h - The platform a run works on ----------------------===//
//
// Before a job runs, its caller names the platform: the folder platform at
// a root, whose access objects the converter then opens, and the platform
// configuration (settings and backup clients, ZY_PLATFORM_CONFIG).  The
// platform itself takes a configuration it cannot read as empty; a caller
// that named one wants to hear that it is unusable instead.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"

#include <cstdio>
#include <string>
#include <vector>

namespace zyjobs {

// Makes the folder platform at root this process's platform; false when
// root is not a folder.
bool UseFolderPlatformAt(const std::string& root, SJobError& error);

// False, with the reason, when the platform configuration at path cannot
// be read or is not a JSON object.
bool CheckPlatformConfig(const std::string& path, SJobError& error);

// Makes an empty folder platform at root: one folder per known kind, named
// as in kinds, in a folder that does not exist yet or is empty.  False,
// with the folder that could not be made, otherwise.
bool MakeFolderPlatform(const std::string& root,
                        std::vector<std::string>& kinds, SJobError& error);

// The platform log's file: named (--log, else ZY_LOG_FILE) when not empty,
// else zyvmconvert/zyvmconvert.log in the user's state folder
// (XDG_STATE_HOME, else ~/.local/state, else /tmp).
std::string PlatformLogPath(const std::string& named);

// Opens the log at path for appending.  The default log's folder is made
// and a default log that cannot be opened is null; a log the user named
// must be in a folder that exists (a typo is not a new folder tree) and
// opens, else false.
bool OpenPlatformLog(const std::string& path, bool named, std::FILE*& file,
                     SJobError& error);

}  // namespace zyjobs
