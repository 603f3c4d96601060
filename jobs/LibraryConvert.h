//===- LibraryConvert.h - The library's standalone conversion of a VM -----===//
//
// ConvertVM run on a VM of the folder platform: the converter mounts the
// source VM, converts its configuration file and has the destination
// platform build the VM; it creates no disk images by design.  ConvertVM
// does not report a failure of that last step, so the job checks that the
// platform built the VM.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"
#include "ResultFacts.h"

#include "model/VMInfoStructs.h"
#include "model/VirtualServerTypes.h"

#include <string>

namespace zyjobs {

struct LibraryConvertRequest {
  VirtualServerInstanceType source = VirtualServerInstanceType();
  VirtualServerInstanceType destination = VirtualServerInstanceType();
  std::string root;             // the folder platform's root
  std::string vm;               // the source VM's name
  std::string destinationName;  // empty: the source VM's name
  std::string s3Bucket;
  std::string logPath;  // named when a failure has no reason of its own
};

// Converts the request's VM; facts and info describe the VM the destination
// platform built.  False, with error, when it was not built.
bool RunLibraryConvert(const LibraryConvertRequest& request,
                       ResultFacts& facts, VMInfoStructs::SVMInfo& info,
                       SJobError& error);

}  // namespace zyjobs
