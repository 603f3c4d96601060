//===- RestoreJob.h - A restore to another platform, as the agent runs it -===//
//
// The restore agent's part around the converter:
//   1. the request is checked: every backed-up file it lists must exist in
//      the source folder, so a bad request fails before anything is written;
//   2. the destination's access object is opened and InitVMConversion run;
//   3. the listed files are restored into the restore folder (the staging
//      folder, or the destination folder for Amazon and the Azure family):
//      configuration files under their index name, disks through the disk
//      image component under their destination name; when the request lists
//      no configuration file, its own VM description is written there as
//      "VMConfig.zyf" (a description built by p2v is kept so);
//   4. CompleteVMConversion builds the VM on the destination, and for
//      Hyper-V and the Azure family AdjustVMConfiguration adjusts it.
// A temporary staging folder is made in the platform root when the request
// names none, and removed afterwards.  The source folder is only read.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Report.h"

#include "model/Contexts.h"
#include "model/VirtualServerTypes.h"

#include <string>

namespace zytool {

struct RestoreJob {
  VirtualServerInstanceType source = VS_NONE;
  VirtualServerInstanceType destination = VS_NONE;
  RestoreCtx request;
  std::string root;          // platform root
  std::string sourceFolder;  // empty: <root>/<source kind>/<strSourceVMName>
  std::string ec2InstanceId;  // Amazon: the instance its description keeps
};

struct RestoreOutcome {
  VMInfoStructs::SVMInfo description;  // the converted VM
  ResultFacts facts;
};

// Runs the job; throws ToolError with the library's and the platform's
// reasons on failure.
RestoreOutcome RunRestoreJob(RestoreJob& job);

// Reads a JSON restore request ("-": standard input); throws ToolError.
RestoreCtx ReadRestoreRequest(const std::string& path);

}  // namespace zytool
