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
// names none, and removed afterwards; it is locked while it lives, so that a
// later run removes one a killed run left behind.  A staging or destination
// folder the request names must lie in the platform root; the files staged
// there are removed afterwards.  The source folder is only read, and no
// path is followed through a symbolic link (ConfinedPath.h).
// The restore succeeds only when the destination VM holds every data disk
// of the request and every configuration file of the request was read.
// With an output folder, that folder takes the platform root's place for
// everything written.  The platform is reached through IJobPlatform, so the
// job runs on any platform that answers it.  What the request leaves open is
// taken from the source VM, as a platform would: its network cards with their
// MACs and networks, its guest OS facts for the client properties, and a
// catalog of its disks by controller position.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"
#include "JobPlatform.h"
#include "ResultFacts.h"

#include "model/Contexts.h"
#include "model/VirtualServerTypes.h"

#include <map>
#include <string>

namespace zyjobs {

struct RestoreJob {
  // Where the source VM's files are kept and the destination VM is built.
  IJobPlatform* platform = nullptr;
  VirtualServerInstanceType source = VS_NONE;
  VirtualServerInstanceType destination = VS_NONE;
  RestoreCtx request;
  std::string root;          // platform root
  std::string sourceFolder;  // empty: <root>/<source kind>/<strSourceVMName>
  // Backed-up files named on the command line, by their index name; they
  // are read from here instead of the source folder.
  std::map<std::string, std::string> sourceFiles;
  // The source VM's own description, when known; what the request leaves
  // open is taken from it.
  bool haveSourceDescription = false;
  VMInfoStructs::SVMInfo sourceDescription;
  // When set, the destination VM is built in this folder (created) instead
  // of on the platform.
  std::string outputFolder;
  std::string verb = "restored";  // in the result's title
  // The disk format each restored disk file was written in, by file name.
  std::map<std::string, DiskType_t> writtenFormats;
  // The folder source reads stay in: the --source folder the user named,
  // else the platform root.
  std::string sourceRoot;
  // The user's mapping of the source VM's networks onto the destination's
  // (formats/common/NetworkMap.h), for every native description written; a
  // rule naming no network of the source VM fails the job before anything
  // is written.  Whether the source's networks are bridges is the job's to
  // fill, from the source kind.
  SNetworkMap networks;
  // Amazon: the instance to restore (--instance-id); after the checks, the
  // instance the restored description keeps (empty: it lists one).
  std::string ec2InstanceId;
};

struct RestoreOutcome {
  VMInfoStructs::SVMInfo description;  // the converted VM
  ResultFacts facts;
};

// Runs the job; false with the library's and the platform's reasons on
// failure.  Warnings, notes and each disk's progress go to observer.
bool RunRestoreJob(RestoreJob& job, IJobObserver& observer,
                   RestoreOutcome& outcome, SJobError& error);

// Reads a JSON restore request ("-": standard input).
bool ReadRestoreRequest(const std::string& path, RestoreCtx& request,
                        SJobError& error);

}  // namespace zyjobs
