//===- OracleVMConfigFile.h - Oracle VM and Xen domain files ---===//
#pragma once

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

#include <string>

// An Oracle VM / Xen domain configuration file.
class ZY_PLATFORM_API OracleVMConfigFile {
 public:
  OracleVMConfigFile();
  ~OracleVMConfigFile();
  bool LoadFile(const std::string& path);
  bool GetVMInfo(VMInfoStructs::SVMInfo& info);

 private:
  struct Impl;
  Impl* impl_;
};
