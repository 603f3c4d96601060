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

#include <string>

namespace zyjobs {

// Makes the folder platform at root this process's platform; false when
// root is not a folder.
bool UseFolderPlatformAt(const std::string& root, SJobError& error);

// False, with the reason, when the platform configuration at path cannot
// be read or is not a JSON object.
bool CheckPlatformConfig(const std::string& path, SJobError& error);

}  // namespace zyjobs
