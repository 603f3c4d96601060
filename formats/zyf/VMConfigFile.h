//===- VMConfigFile.h - Generalised and Amazon VM descriptions --*- C++ -*-===//
//
// A VMConfigFile reads one of two descriptions, chosen by the file's content
// and not by its name: the generalised description "VMConfig.zyf" (a JSON
// object, our own format) or an Amazon EC2 DescribeInstances response (XML).
// It writes only the generalised description.  The formats themselves are in
// formats/common/FormatText.h.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"
#include "formats/common/FormatText.h"

class ZY_PLATFORM_API VMConfigFile {
 public:
  explicit VMConfigFile(const std::string& path);

  // Reads the file into info.  False, with one error line in the platform
  // log, when the file is missing, too large, of neither format or malformed;
  // info is then unchanged.
  bool Load(VMInfoStructs::SVMInfo& info);

  // Writes info as a generalised description to the path.  The file is
  // replaced in one step: a failed write leaves any earlier file as it was.
  bool Save(const VMInfoStructs::SVMInfo& info);

  // The platform's table of Amazon instance types, asked first when an
  // Amazon description's instance type gives its CPUs and memory; set once
  // by the platform before descriptions are read.
  static void SetPlatformInstanceSizes(Ec2InstanceSizes sizes);

 private:
  // Load without the guard against exhausted memory.
  bool ReadDescription(VMInfoStructs::SVMInfo& info);

  std::string path_;
};
