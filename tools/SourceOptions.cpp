//===- SourceOptions.cpp - The source VM's options of convert and restore -===//
#include "SourceOptions.h"

#include "Commands.h"
#include "Report.h"

#include "jobs/FolderJobPlatform.h"

#include <CLI/CLI.hpp>

namespace zytool {

namespace {

void AddDiskCopyOptions(CLI::App& command, DiskCopyOptions& options) {
  command
      .add_option("--jobs", options.jobs,
                  "Disks copied at once (default: one per processor, at "
                  "most 4)")
      ->check(CLI::Range(1u, 64u));
  command.add_flag("--verify", options.verify,
                   "Compare each copied disk's guest data with its source's; "
                   "a difference fails the run and removes the output");
}

void AddS3BucketOption(CLI::App& command, std::string& bucket) {
  // S3's rule: 3 to 63 lower-case letters, digits, dots and hyphens, a
  // letter or digit first and last.
  auto valid = [](std::string& name) -> std::string {
    auto plain = [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    bool ok = name.size() >= 3 && name.size() <= 63 && plain(name.front()) &&
              plain(name.back());
    for (char c : name) ok = ok && (plain(c) || c == '.' || c == '-');
    return ok ? "" : "[" + name + "] is not an S3 bucket name";
  };
  command
      .add_option("--s3-bucket", bucket,
                  "Amazon destination: the S3 bucket the disk images are "
                  "uploaded to, for import-image.json")
      ->check(CLI::Validator(valid, "BUCKET"));
}

void AddNetworkOptions(CLI::App& command, FileSourceOptions& options) {
  command.add_option("--network", options.networks,
                     "Connect the cards on source network SRC to the "
                     "destination network DST (SRC=DST), or every other card "
                     "(DST); repeat for each network (libvirt default: the "
                     "network 'default')");
  command.add_option("--bridge", options.bridges,
                     "As --network, to the host bridge DST (libvirt: an "
                     "interface of type bridge)");
}

void AddFileSourceOptions(CLI::App& command, FileSourceOptions& options) {
  command.add_option("--vmx", options.vmx,
                     "Source VM: a VMware configuration file; its disks are "
                     "the files it names beside it");
  command.add_option(
      "--xen-cfg", options.xenCfg,
      "Source VM: a Xen or Oracle VM domain file (kind oraclevm)");
  command.add_option("--ec2-xml", options.ec2Xml,
                     "Source VM: an EC2 instance description (give its "
                     "volumes' images with --disk)");
  command.add_option("--zyf", options.zyf,
                     "Source VM: a VMConfig.zyf description (with --from)");
  command.add_option("--disk", options.disks,
                     "A disk image of the source VM, in the description's "
                     "order (repeat for each disk)");
  command.add_option("--output", options.output,
                     "Build the destination VM in this folder (created; "
                     "existing files are never replaced)");
  command.add_option("--os", options.osName,
                     "Guest OS value for the destination (default: AUTO, "
                     "from the VM's client; for VMware, the source's guest OS "
                     "as a VMware guest id); 'zyvmconvert kinds --os KIND' lists the "
                     "values a kind takes");
  command
      .add_option("--cpus", options.cpus,
                  "Processors of the VM when its description gives none")
      ->check(CLI::Range(1, 4096));
  command
      .add_option("--memory", options.memoryMB,
                  "Memory of the VM in MiB when its description gives none")
      ->check(CLI::Range(int64_t{1}, int64_t{64} << 20));
  command.add_option("--instance-id", options.instanceId,
                     "Amazon source: the instance of the description to "
                     "convert (default: the request's vmInfo.strGUID, else "
                     "the first)");
  AddNetworkOptions(command, options);
}

}  // namespace

void AddVMJobOptions(CLI::App& command, VMJobOptions& options) {
  AddS3BucketOption(command, options.s3Bucket);
  AddFileSourceOptions(command, options.files);
  AddDiskCopyOptions(command, options.copy);
}

void SetUpSource(const GlobalOptions& global, const FileSourceOptions& options,
                 const std::string& fromText, const std::string& vmName,
                 std::unique_ptr<IJobPlatform>& platform, RestoreJob& job) {
  bool fromFiles = HasFileSource(options);
  VirtualServerInstanceType implied = FileSourceKind(options);
  if (!fromText.empty())
    job.source = KindFromText(fromText);
  else if (fromFiles && implied != VS_NONE)
    job.source = implied;
  else
    throw ToolError("give the source platform kind with --from");
  job.outputFolder = options.output;
  job.root = fromFiles && !options.output.empty() ? OptionalPlatformRoot(global)
                                                  : RequirePlatformRoot(global);
  platform = std::make_unique<FolderJobPlatform>(job.root);
  job.platform = platform.get();
  if (fromFiles && options.output.empty() && job.root.empty())
    throw ToolError("give --output FOLDER for the converted VM");
  if (!fromFiles && !vmName.empty() && !options.disks.empty())
    throw ToolError("--disk goes with a source file (--vmx, --ec2-xml, ...)");
  ConsoleObserver observer;
  SJobError error;
  Require(PrepareChosenSource(options, options, vmName, options.osName,
                              observer, job, error),
          error);
}

int RunAndReport(const GlobalOptions& global, const DiskCopyOptions& options,
                 RestoreJob& job) {
  job.copyJobs = options.jobs;
  job.verify = options.verify;
  ConsoleObserver observer;
  RestoreOutcome outcome;
  SJobError error;
  Require(RunRestoreJob(job, observer, outcome, error), error);
  PrintResult(global, outcome.description, outcome.facts);
  return 0;
}

}  // namespace zytool
