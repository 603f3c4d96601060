//===- CmdRestore.cpp - zyvmconvert restore REQUEST --from K --to K -------===//
#include "Commands.h"
#include "RestoreJob.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {

int RunRestore(const GlobalOptions& global, const RestoreOptions& options) {
  RestoreJob job;
  job.source = KindFromText(options.from);
  job.destination = KindFromText(options.to);
  job.root = RequirePlatformRoot(global);
  job.sourceFolder = options.sourceFolder;
  job.request = ReadRestoreRequest(options.request);
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
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunRestore(global, *options); };
  });
}

}  // namespace zytool
