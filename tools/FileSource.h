//===- FileSource.h - A source VM given as its own files ------------------===//
//
// A user's VM is a configuration file and the disk images beside it: a
// VMware .vmx, a Xen or Oracle VM domain file, an EC2 instance description
// (whose volumes are given as image files), or our own VMConfig.zyf.  The
// description is read with the platform's readers; its hard disks are the
// files it names, relative to the configuration file and never outside that
// file's folder, or the images given in order on the command line.  The
// result is a restore job's source: the description, one restored-file
// entry per disk image and where each is read from.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "RestoreJob.h"
#include "ToolSupport.h"

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zytool {

struct FileSourceOptions {
  std::string vmx;                 // VMware configuration file
  std::string xenCfg;              // Xen or Oracle VM domain file
  std::string ec2Xml;              // EC2 DescribeInstances response
  std::string zyf;                 // generalised description
  std::vector<std::string> disks;  // images, in the description's order
  std::string output;              // folder the destination VM is built in
  std::string osName;              // guest OS value for the destination
  std::string instanceId;          // the EC2 description's instance to read
};

// Registers --vmx, --xen-cfg, --ec2-xml, --zyf, --disk, --output and --os.
void AddFileSourceOptions(CLI::App& command, FileSourceOptions& options);

// Registers --s3-bucket: the bucket an Amazon destination's disk images are
// uploaded to, named in its import-image.json.
void AddS3BucketOption(CLI::App& command, std::string& bucket);

bool HasFileSource(const FileSourceOptions& options);

// The source kind the file implies (vmware, oraclevm, amazon); VS_NONE for
// a generalised description, whose kind must be given.
VirtualServerInstanceType FileSourceKind(const FileSourceOptions& options);

// Reads the description and names its disk images in job: job.request's
// vmInfo and vDisks (replacing theirs), strSourceVMName and strVMName where
// empty, job.sourceFiles and the source description.  Throws ToolError
// with one line naming the file.
void LoadFileSource(const FileSourceOptions& options, RestoreJob& job);

// Fills job's source from the options (a file source), else from the VM
// named vmName on the folder platform; sets the output folder and the guest
// OS value.  fromText may be empty when the file implies the source kind.
void SetUpSource(const GlobalOptions& global, const FileSourceOptions& options,
                 const std::string& fromText, const std::string& vmName,
                 RestoreJob& job);

// Runs the job and prints its result; the exit status.
int RunAndReport(const GlobalOptions& global, RestoreJob& job);

// The same for a VM of the folder platform: its description and the files
// of its folder.
void LoadPlatformSource(const std::string& vmName, RestoreJob& job);

}  // namespace zytool
