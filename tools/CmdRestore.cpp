//===- CmdRestore.cpp - zyvmconvert restore REQUEST --from K --to K -------===//
//
// A restore as the restore agent runs it: the request names the source VM
// (on the folder platform, or in --source) and its backed-up files; with
// --vmx, --xen-cfg, --ec2-xml or --zyf the source VM and its disks are the
// files instead, and the request, when given, brings its options.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "SourceOptions.h"

#include "model/PlatformKinds.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
int RunRestore(const GlobalOptions& global, const RestoreOptions& options) {
  RestoreJob job;
  job.destination = DestinationKindFromText(options.to);
  SJobError error;
  Require(CheckFileSource(options.files, error), error);
  bool fromFiles = HasFileSource(options.files);
  if (options.request.empty() && !fromFiles)
    throw ToolError("give the restore request (or the source VM's files)");
  if (fromFiles && !options.sourceFolder.empty())
    throw ToolError("--source goes with a request, not with source files");
  if (!options.request.empty())
    Require(ReadRestoreRequest(options.request, job.request, error), error);
  job.sourceFolder = options.sourceFolder;
  std::unique_ptr<IJobPlatform> platform;
  SetUpSource(global, options.files, options.from, "", platform, job);
  job.s3Bucket = options.s3Bucket;
  return RunAndReport(global, options.copy, job);
}

void AddRestoreCommand(CLI::App& app, const GlobalOptions& global,
                       CommandRun& run) {
  auto options = std::make_shared<RestoreOptions>();
  CLI::App* cmd = app.add_subcommand(
      "restore",
      "Restore a VM to another platform kind from a JSON restore request");
  cmd->add_option("request", options->request,
                  "Restore request, JSON (- for standard input)");
  cmd->add_option("--from", options->from,
                  "Source platform kind (default: the source file's)");
  cmd->add_option("--to", options->to, "Destination platform kind")->required();
  cmd->add_option("--source", options->sourceFolder,
                  "Folder of the backed-up files (default: the source VM's "
                  "folder on the platform)");
  AddVMJobOptions(*cmd, *options);
  cmd->callback([&run, &global, options] {
    Typed().command = "restore";
    Typed().osValue = options->files.osName;
    run = [&global, options] { return RunRestore(global, *options); };
  });
}

}  // namespace zytool
