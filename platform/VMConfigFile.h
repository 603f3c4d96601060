//===- VMConfigFile.h - Generalised and Amazon VM descriptions ---===//
#pragma once

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

#include <string>

// The generalised description "VMConfig.zyf" or an Amazon description.
class ZY_PLATFORM_API VMConfigFile {
 public:
  explicit VMConfigFile(const std::string& path);
  bool Load(VMInfoStructs::SVMInfo& info);
  // Writes info as a generalised description to the path.
  bool Save(const VMInfoStructs::SVMInfo& info);

 private:
  std::string path_;
};
