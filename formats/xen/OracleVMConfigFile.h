//===- OracleVMConfigFile.h - Oracle VM and Xen domain files ----*- C++ -*-===//
//
// An Oracle VM or Xen domain configuration file (vm.cfg).  LoadFile reads and
// parses the file; GetVMInfo turns its settings into a VM description.  The
// format and the setting-to-member table are described in
// OracleVMConfigFile.cpp; ParseXenDomainConfig (VMConfigFormat.h) does both
// steps on text.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

class ZY_PLATFORM_API OracleVMConfigFile {
 public:
  OracleVMConfigFile();
  ~OracleVMConfigFile();
  OracleVMConfigFile(const OracleVMConfigFile&) = delete;
  OracleVMConfigFile& operator=(const OracleVMConfigFile&) = delete;

  // Reads and parses the file.  False, with one error line in the platform
  // log naming the file and line, when it is missing, too large or malformed.
  bool LoadFile(const std::string& path);
  // Fills info from the loaded file.  False, with one error line, when
  // nothing is loaded or a setting the description needs has a wrong value;
  // info is then unchanged.
  bool GetVMInfo(VMInfoStructs::SVMInfo& info);

 private:
  struct Impl;
  Impl* impl_;
};
