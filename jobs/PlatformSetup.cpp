//===- PlatformSetup.cpp - The platform a run works on --------------------===//
#include "PlatformSetup.h"

#include "JobSupport.h"

#include "model/PlatformKinds.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/support/BoundedFile.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace zyjobs {

namespace fs = std::filesystem;

bool UseFolderPlatformAt(const std::string& root, SJobError& error) {
  return AtBoundary(error, [&] {
    std::error_code ec;
    if (!fs::is_directory(root, ec))
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

bool MakeFolderPlatform(const std::string& root,
                        std::vector<std::string>& kinds, SJobError& error) {
  return AtBoundary(error, [&] {
    std::error_code ec;
    if (fs::exists(root, ec) &&
        (!fs::is_directory(root, ec) || !fs::is_empty(root, ec)))
      throw JobFailure("[" + root +
                       "] exists and is not an empty folder; init-root makes "
                       "a new platform only");
    if (!fs::create_directory(root, ec) && ec)
      throw JobFailure("cannot make the folder [" + root +
                       "]: " + ec.message());
    kinds.clear();
    for (VirtualServerInstanceType kind : KnownPlatformKinds()) {
      std::string name = PlatformKindName(kind);
      if (!fs::create_directory(fs::path(root) / name, ec) && ec)
        throw JobFailure("cannot make the folder [" + root + "/" + name +
                         "]: " + ec.message());
      kinds.push_back(name);
    }
  });
}

std::string PlatformLogPath(const std::string& named) {
  if (!named.empty()) return named;
  std::string state;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg)
    state = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    state = std::string(home) + "/.local/state";
  else
    state = "/tmp";
  return state + "/zyvmconvert/zyvmconvert.log";
}

bool OpenPlatformLog(const std::string& path, bool named, std::FILE*& file,
                     SJobError& error) {
  return AtBoundary(error, [&] {
    std::error_code ec;
    fs::path parent = fs::path(path).parent_path();
    if (named && !parent.empty() && !fs::is_directory(parent, ec))
      throw JobFailure("cannot open the log [" + path + "]: no folder [" +
                       parent.string() + "]");
    if (!named && !parent.empty()) fs::create_directories(parent, ec);
    file = std::fopen(path.c_str(), "a");
    if (!file && named)
      throw JobFailure("cannot open the log [" + path +
                       "]: " + std::strerror(errno));
  });
}

}  // namespace zyjobs
