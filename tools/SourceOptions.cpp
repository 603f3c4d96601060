//===- SourceOptions.cpp - The source VM's options of convert and restore -===//
#include "SourceOptions.h"

#include "Commands.h"
#include "Report.h"

#include "jobs/FolderJobPlatform.h"
#include "model/PlatformKinds.h"

#include <CLI/CLI.hpp>

namespace zytool {

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

namespace {

// "SRC=DST" maps the source network SRC, "DST" every other one; the first
// '=' ends the source's name.
void AddMappings(const std::vector<std::string>& texts, bool bridge,
                 SNetworkMap& map) {
  const char* option = bridge ? "--bridge" : "--network";
  for (const std::string& text : texts) {
    size_t equals = text.find('=');
    SNetworkMapping rule;
    rule.bBridge = bridge;
    rule.strTarget = equals == std::string::npos ? text : text.substr(equals + 1);
    if (equals != std::string::npos) rule.strSource = text.substr(0, equals);
    if (rule.strTarget.empty() ||
        (equals != std::string::npos && rule.strSource.empty()))
      throw ToolError(std::string(option) + " [" + text +
                      "]: give SOURCE=DESTINATION, or DESTINATION for every "
                      "source network");
    map.vMappings.push_back(rule);
  }
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

}  // namespace

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

void SetUpSource(const GlobalOptions& global, const FileSourceOptions& options,
                 const std::string& fromText, const std::string& vmName,
                 std::unique_ptr<IJobPlatform>& platform, RestoreJob& job) {
  SJobError error;
  Require(CheckFileSource(options, error), error);
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
  if (!options.instanceId.empty() &&
      !zykinds::Has(job.source, zykinds::kListsInstances))
    throw ToolError("--instance-id is for a VM from amazon");
  if (!fromFiles) job.ec2InstanceId = options.instanceId;
  AddMappings(options.networks, false, job.networks);
  AddMappings(options.bridges, true, job.networks);
  ConsoleObserver observer;
  Require(PrepareSource(options, vmName, options.osName, observer, job, error),
          error);
  // The VM is built from the description the job writes of the request, so
  // the sizes given here reach the destination.
  VMInfoStructs::SVMInfo& vm = job.request.vmInfo;
  if (options.cpus > 0 && vm.i64NumCPUs <= 0) vm.i64NumCPUs = options.cpus;
  if (options.memoryMB > 0 && vm.i64MemoryMB <= 0)
    vm.i64MemoryMB = options.memoryMB;
}

int RunAndReport(const GlobalOptions& global, RestoreJob& job) {
  ConsoleObserver observer;
  RestoreOutcome outcome;
  SJobError error;
  Require(RunRestoreJob(job, observer, outcome, error), error);
  if (global.json)
    Print("%s\n",
          DescriptionJson(outcome.description, outcome.facts).dump(2).c_str());
  else
    PrintDescription(outcome.description, outcome.facts);
  return 0;
}

}  // namespace zytool
