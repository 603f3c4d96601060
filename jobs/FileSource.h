//===- FileSource.h - A source VM given as its own files ------------------===//
//
// A user's VM is a configuration file and the disk images beside it: a
// VMware .vmx, a Xen or Oracle VM domain file, an EC2 instance description
// (whose volumes are given as image files), or our own VMConfig.zyf.  The
// description is read with the platform's readers; its hard disks are the
// files it names, relative to the configuration file and never outside that
// file's folder, or the images given in order.  The result is a restore
// job's source: the description, one restored-file entry per disk image and
// where each is read from.  A VM of the platform is a source the same way:
// its description and the files of its folder.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"
#include "RestoreJob.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zyjobs {

// The source VM's files; one of the first four is given.
struct FileSource {
  std::string vmx;                 // VMware configuration file
  std::string xenCfg;              // Xen or Oracle VM domain file
  std::string ec2Xml;              // EC2 DescribeInstances response
  std::string zyf;                 // generalised description
  std::vector<std::string> disks;  // images, in the description's order
  std::string instanceId;          // the EC2 description's instance to read
};

// Whether any source file is given.
bool HasFileSource(const FileSource& files);

// False when more than one source file is given.
bool CheckFileSource(const FileSource& files, SJobError& error);

// The source kind the file implies (vmware, oraclevm, amazon); VS_NONE for
// a generalised description, whose kind must be given.
VirtualServerInstanceType FileSourceKind(const FileSource& files);

// Fills job's source from files when one is given, else from the VM called
// vmName on job.platform when vmName is not empty: job.request's vmInfo and
// vDisks (replacing theirs), strSourceVMName and strVMName where empty,
// job.sourceFiles and the source description.  osName, when given, is the
// request's guest OS value; else a source read here gets the destination
// kind's default.  job's kinds, root and platform are set before.  False
// with one line naming the file.
bool PrepareSource(const FileSource& files, const std::string& vmName,
                   const std::string& osName, IJobObserver& observer,
                   RestoreJob& job, SJobError& error);

// What the user says of the source VM beyond its files: the sizes of a VM
// whose description gives none (an Amazon instance type no table knows),
// and how its networks map onto the destination's.
struct SourceChoices {
  int64_t cpus = 0;      // where the description gives none; 0: not given
  int64_t memoryMB = 0;  // the same
  // --network and --bridge, each "SRC=DST" or "DST" (every other source
  // network), as given.
  std::vector<std::string> networks;
  std::vector<std::string> bridges;
};

// PrepareSource with the user's choices: files.instanceId only for a
// source kind that lists instances (the instance of a platform VM is
// job.ec2InstanceId), the network texts as job.networks' rules, and the
// sizes where the VM has none.  job.source is set before.  False with one
// line naming what is wrong.
bool PrepareChosenSource(const FileSource& files, const SourceChoices& choices,
                         const std::string& vmName, const std::string& osName,
                         IJobObserver& observer, RestoreJob& job,
                         SJobError& error);

}  // namespace zyjobs
