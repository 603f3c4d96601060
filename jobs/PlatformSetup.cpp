//===- PlatformSetup.cpp - The platform a run works on --------------------===//
#include "PlatformSetup.h"

#include "JobSupport.h"

#include "platform/folder/FolderVMInfo.h"
#include "platform/support/BoundedFile.h"

#include <nlohmann/json.hpp>

#include <filesystem>

namespace zyjobs {

bool UseFolderPlatformAt(const std::string& root, SJobError& error) {
  return AtBoundary(error, [&] {
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec))
      throw JobFailure("platform root [" + root + "] is not a folder");
    UseFolderPlatform(root);
  });
}

bool CheckPlatformConfig(const std::string& path, SJobError& error) {
  return AtBoundary(error, [&] {
    std::string text, why;
    if (!ReadBoundedFile(path, text, why))
      throw JobFailure("cannot read the platform configuration: " + why);
    bool object = false;
    try {
      object = nlohmann::json::parse(text).is_object();
    } catch (const nlohmann::json::exception& e) {
      throw JobFailure("platform configuration [" + path +
                       "] is not JSON: " + e.what());
    }
    if (!object)
      throw JobFailure("platform configuration [" + path +
                       "] is not a JSON object");
  });
}

}  // namespace zyjobs
