//===- SourceOptions.h - The source VM's options of convert and restore ---===//
//
// --vmx, --xen-cfg, --ec2-xml, --zyf and --disk name a source VM's files
// (jobs/FileSource.h reads them); --output and --os say where the
// destination VM is built and its guest OS value; --cpus and --memory size
// a VM whose description does not (an Amazon instance type no table knows);
// --instance-id chooses the instance of an Amazon description; --network
// and --bridge map the source VM's networks onto the destination's.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "ToolSupport.h"

#include "jobs/FileSource.h"
#include "jobs/RestoreJob.h"

#include <string>

namespace CLI {
class App;
}

namespace zytool {

struct FileSourceOptions : FileSource, SourceChoices {
  std::string output;  // folder the destination VM is built in
  std::string osName;  // guest OS value for the destination
};

// How a VM's disks are copied: --jobs N at once (0: one per processor, at
// most four) and --verify.
struct DiskCopyOptions {
  unsigned jobs = 0;
  bool verify = false;
};

// What restore and convert take after their own options: --s3-bucket, the
// bucket an Amazon destination's disk images are uploaded to (named in its
// import-image.json); the source VM's files and options (--vmx, --xen-cfg,
// --ec2-xml, --zyf, --disk, --output, --os, --cpus, --memory,
// --instance-id, --network, --bridge); --jobs and --verify.
struct VMJobOptions {
  std::string s3Bucket;
  FileSourceOptions files;  // a source VM given as files
  DiskCopyOptions copy;
};
void AddVMJobOptions(CLI::App& command, VMJobOptions& options);

// The job on the folder platform: fills job's source from the options (a
// file source), else from the VM named vmName on the folder platform; sets
// the output folder and the guest OS value.  fromText may be empty when the
// file implies the source kind; the files are checked (CheckFileSource)
// before.  The job keeps platform, which must live as long as it.
void SetUpSource(const GlobalOptions& global, const FileSourceOptions& options,
                 const std::string& fromText, const std::string& vmName,
                 std::unique_ptr<IJobPlatform>& platform, RestoreJob& job);

// Runs the job, its disks copied as options say, and prints its result;
// the exit status.
int RunAndReport(const GlobalOptions& global, const DiskCopyOptions& options,
                 RestoreJob& job);

}  // namespace zytool
