//===- CmdRestore.cpp - zyvmconvert restore REQUEST --from K --to K -------===//
#include "Commands.h"
#include "Ec2InstanceChoice.h"
#include "RestoreJob.h"

#include "platform/folder/FolderVMInfo.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

// Where the backed-up files are: --source, else the source VM's folder.
std::string SourceFolder(const RestoreJob& job) {
  if (!job.sourceFolder.empty()) return job.sourceFolder;
  const RestoreCtx& request = job.request;
  std::string name = request.strSourceVMName.empty() ? request.vmInfo.strVMName
                                                     : request.strSourceVMName;
  return FolderVMInfo(job.source, job.root).VMFolder(name);
}

}  // namespace

int RunRestore(const GlobalOptions& global, const RestoreOptions& options) {
  RestoreJob job;
  job.source = KindFromText(options.from);
  job.destination = KindFromText(options.to);
  job.root = RequirePlatformRoot(global);
  job.sourceFolder = options.sourceFolder;
  job.request = ReadRestoreRequest(options.request);
  if (job.source == VS_AMAZON)
    job.ec2InstanceId =
        ChooseEc2Instance(job.request, SourceFolder(job), options.instanceId);
  else if (!options.instanceId.empty())
    throw ToolError("--instance-id is for a restore from amazon");
  RestoreOutcome outcome = RunRestoreJob(job);
  if (global.json)
    Print("%s\n",
          DescriptionJson(outcome.description, outcome.facts).dump(2).c_str());
  else
    PrintDescription(outcome.description, outcome.facts);
  return 0;
}

void AddRestoreCommand(CLI::App& app, const GlobalOptions& global,
                       CommandRun& run) {
  auto options = std::make_shared<RestoreOptions>();
  CLI::App* cmd = app.add_subcommand(
      "restore",
      "Restore a VM to another platform kind from a JSON restore request");
  cmd->add_option("request", options->request,
                  "Restore request, JSON (- for standard input)")
      ->required();
  cmd->add_option("--from", options->from, "Source platform kind")->required();
  cmd->add_option("--to", options->to, "Destination platform kind")->required();
  cmd->add_option("--source", options->sourceFolder,
                  "Folder of the backed-up files (default: the source VM's "
                  "folder on the platform)");
  cmd->add_option("--instance-id", options->instanceId,
                  "Amazon source: the instance of the description to restore "
                  "(default: the request's vmInfo.strGUID, else the first)");
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunRestore(global, *options); };
  });
}

}  // namespace zytool
