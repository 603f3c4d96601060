//===- CmdMount.cpp - zyvmconvert mount, unmount and promote --------------===//
//
//   mount KIND/VM --to KIND [--name NAME] [--mount-id N]
//       the backed-up VM running on the destination at once: its disks are
//       thin images over the backup's, which is never written
//   unmount KIND/VM   the mounted VM and its thin images removed
//   promote KIND/VM   the mounted VM's disks written whole in the
//                     destination's own format; the VM stays, the backup
//                     is no longer needed
// (jobs/MountJob.h)
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"

#include "jobs/FolderJobPlatform.h"
#include "jobs/MountJob.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

struct MountOptions {
  std::string vm;  // KIND/VM
  std::string to;
  std::string name;
  int64_t mountId = kSmallestMountId;
};

// "vmware/web01" as kind and name.
void SplitKindAndName(const std::string& text, VirtualServerInstanceType& kind,
                      std::string& name) {
  size_t slash = text.find('/');
  if (slash == std::string::npos || slash + 1 == text.size())
    throw ToolError("[" + text + "] is no VM: give KIND/VM, as vmware/web01");
  kind = KindFromText(text.substr(0, slash));
  name = text.substr(slash + 1);
}

int RunMount(const GlobalOptions& global, const MountOptions& options) {
  MountJob job;
  job.root = RequirePlatformRoot(global);
  FolderJobPlatform platform(job.root);
  job.platform = &platform;
  SplitKindAndName(options.vm, job.source, job.sourceVM);
  job.destination = DestinationKindFromText(options.to);
  job.name = options.name;
  job.mountId = options.mountId;
  ConsoleObserver observer;
  MountOutcome outcome;
  SJobError error;
  Require(RunMountJob(job, observer, outcome, error), error);
  PrintResult(global, outcome.description, outcome.facts, outcome.overlays);
  return 0;
}

MountedVM VMOf(const std::string& root, IJobPlatform& platform,
               const std::string& text) {
  MountedVM vm;
  vm.root = root;
  vm.platform = &platform;
  SplitKindAndName(text, vm.kind, vm.name);
  return vm;
}

int RunUnmount(const GlobalOptions& global, const std::string& text) {
  std::string root = RequirePlatformRoot(global);
  FolderJobPlatform platform(root);
  ConsoleObserver observer;
  SJobError error;
  Require(RunUnmountJob(VMOf(root, platform, text), observer, error), error);
  if (global.json)
    Print("%s\n", nlohmann::json({{"unmounted", text}}).dump(2).c_str());
  else
    Print("%s unmounted\n", text.c_str());
  return 0;
}

int RunPromote(const GlobalOptions& global, const std::string& text) {
  std::string root = RequirePlatformRoot(global);
  FolderJobPlatform platform(root);
  ConsoleObserver observer;
  MountOutcome outcome;
  SJobError error;
  Require(RunPromoteJob(VMOf(root, platform, text), observer, outcome, error),
          error);
  PrintResult(global, outcome.description, outcome.facts, outcome.overlays);
  return 0;
}

// unmount and promote: one argument, the mounted VM.
void AddMountedVMCommand(CLI::App& app, const GlobalOptions& global,
                         CommandRun& run, const char* name,
                         const char* description,
                         int (*runner)(const GlobalOptions&,
                                       const std::string&)) {
  auto vm = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(name, description);
  cmd->add_option("vm", *vm, "The mounted VM, KIND/VM")->required();
  cmd->callback([&run, &global, vm, runner] {
    run = [&global, vm, runner] { return runner(global, *vm); };
  });
}

}  // namespace

void AddMountCommands(CLI::App& app, const GlobalOptions& global,
                      CommandRun& run) {
  auto options = std::make_shared<MountOptions>();
  CLI::App* cmd = app.add_subcommand(
      "mount",
      "Run a backed-up VM on another platform kind at once: its disks are "
      "thin images over the backup's, which stays untouched");
  cmd->add_option("vm", options->vm, "The backed-up VM, KIND/VM")->required();
  cmd->add_option("--to", options->to, "Destination platform kind")->required();
  cmd->add_option("--name", options->name,
                  "Name of the mounted VM (default: <VM>_<mount id>_<pid>)");
  cmd->add_option("--mount-id", options->mountId,
                  "Mount identifier, 1 to 2147483647 (default 1)");
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunMount(global, *options); };
  });
  AddMountedVMCommand(app, global, run, "unmount",
                      "Remove a mounted VM and its thin images", RunUnmount);
  AddMountedVMCommand(
      app, global, run, "promote",
      "Write a mounted VM's disks whole in its platform's own format, so it "
      "no longer needs the backup",
      RunPromote);
}

}  // namespace zytool
