//===- CmdConvert.cpp - zyvmconvert convert [VM] --from K --to K ----------===//
//
// A user who converts a VM expects a whole VM with its disks converted, so
// convert runs the restore-time conversion from the source VM, the same
// flow as restore: InitVMConversion, every disk copied through the disk
// image component under its destination name and format, then
// CompleteVMConversion.  The source is a VM of the folder platform, or a
// VM given as its own files (--vmx, --xen-cfg, --ec2-xml, --zyf); the
// destination VM goes to <root>/<kind>/<name>, or into --output.
//
// --library-convert runs the library's standalone conversion (ConvertVM,
// jobs/LibraryConvert.h) instead; it creates no disk images by design.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"
#include "SourceOptions.h"

#include "jobs/LibraryConvert.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {

int RunLibraryConvert(const GlobalOptions& global,
                      const ConvertOptions& options) {
  LibraryConvertRequest request;
  request.source = KindFromText(options.from);
  request.destination = DestinationKindFromText(options.to);
  request.root = RequirePlatformRoot(global);
  request.vm = options.vm;
  request.destinationName = options.destinationName;
  request.s3Bucket = options.s3Bucket;
  request.logPath = LogPath();
  ResultFacts facts;
  VMInfoStructs::SVMInfo info;
  SJobError error;
  Require(zyjobs::RunLibraryConvert(request, facts, info, error), error);
  PrintResult(global, info, facts);
  return 0;
}

int RunConvert(const GlobalOptions& global, const ConvertOptions& options) {
  SJobError error;
  Require(CheckFileSource(options.files, error), error);
  if (options.libraryConvert) {
    if (HasFileSource(options.files) || !options.files.output.empty())
      throw ToolError("--library-convert converts a VM of the platform root");
    if (!options.files.networks.empty() || !options.files.bridges.empty())
      throw ToolError("--library-convert takes no --network or --bridge");
    if (options.vm.empty() || options.from.empty())
      throw ToolError("--library-convert needs the VM's name and --from");
    return RunLibraryConvert(global, options);
  }
  RestoreJob job;
  job.destination = DestinationKindFromText(options.to);
  if (options.vm.empty() == !HasFileSource(options.files))
    throw ToolError(
        "give the source VM: its name on the platform, or its files "
        "(--vmx, --xen-cfg, --ec2-xml or --zyf)");
  job.request.strVMName = options.destinationName;
  job.s3Bucket = options.s3Bucket;
  job.verb = "converted";
  std::unique_ptr<IJobPlatform> platform;
  SetUpSource(global, options.files, options.from, options.vm, platform, job);
  return RunAndReport(global, options.copy, job);
}

void AddConvertCommand(CLI::App& app, const GlobalOptions& global,
                       CommandRun& run) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* cmd = app.add_subcommand(
      "convert",
      "Convert a VM, with its disks, to another platform kind: a VM of the "
      "folder platform, or one given as its files (--vmx FILE --output DIR)");
  cmd->add_option("vm", options->vm,
                  "Name of the source VM on the folder platform");
  cmd->add_option("--from", options->from,
                  "Source platform kind (default: the source file's)");
  cmd->add_option("--to", options->to, "Destination platform kind")->required();
  cmd->add_option("--name", options->destinationName,
                  "Name of the destination VM (default: the source's)");
  AddVMJobOptions(*cmd, *options);
  cmd->add_flag("--library-convert", options->libraryConvert,
                "Run the library's standalone ConvertVM instead (it creates "
                "no disk images)");
  cmd->callback([&run, &global, options] {
    Typed().command = "convert";
    Typed().osValue = options->files.osName;
    Typed().name = options->destinationName;
    run = [&global, options] { return RunConvert(global, *options); };
  });
}

}  // namespace zytool
