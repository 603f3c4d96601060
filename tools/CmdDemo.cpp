//===- CmdDemo.cpp - zyvmconvert demo: the main job, end to end -----------===//
//
// Builds a folder platform from the shipped examples (a VMware VM "web01"
// with its configuration file and three small disks, hosts and instance
// types of the destinations, a physical machine's recovery request) and runs
// the main job on it:
//   1. web01 restored from VMware to Hyper-V,
//   2. web01 restored to Amazon,
//   3. web01 restored to kind 1401,
//   4. the physical machine "fileserver" turned into a VM and restored to
//      VMware,
//   5. web01 mounted live to OpenStack: thin qcow2 images over the backup's.
// Each restored VM is then booted as its destination describes it
// (boot-check): the examples' OS disks hold the boot checks' test guest
// (scripts/make-examples.sh), which reads its markers back through the
// firmware and reports; the check shows the outcome and the disks qemu
// attached, on which controllers.  Without qemu's x86 emulator the check
// says which package to install.
// The platform lives in a temporary folder that is removed at the end,
// unless --keep or --into asks to keep it.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"

#include "jobs/BootRunner.h"
#include "jobs/DiskCopy.h"
#include "jobs/FolderJobPlatform.h"
#include "jobs/MountJob.h"
#include "jobs/P2VJob.h"
#include "jobs/RestoreJob.h"

#include "platform/folder/FolderVMInfo.h"
#include "platform/support/FXPath.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

namespace fs = std::filesystem;

// Where the examples are: beside an installed tool first, then in the source
// tree the tool was built from.
std::string FindExamples(const std::string& given) {
  if (!given.empty()) return given;
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path installed =
        self.parent_path().parent_path() / "share/zyvm/examples";
    if (fs::is_directory(installed, ec)) return installed.string();
  }
  for (const char* candidate : {ZY_INSTALLED_EXAMPLES_DIR, ZY_EXAMPLES_DIR})
    if (fs::is_directory(candidate, ec)) return candidate;
  throw ToolError("cannot find the examples; give --examples FOLDER");
}

// The demonstration platform: a copy of examples/platform.
class DemoPlatform {
 public:
  DemoPlatform(const std::string& examples, const DemoOptions& options)
      : keep_(options.keep || !options.root.empty()) {
    std::error_code ec;
    if (options.root.empty()) {
      std::string pattern =
          (fs::temp_directory_path(ec) / "zyvm-demo-XXXXXX").string();
      if (!::mkdtemp(pattern.data()))
        throw ToolError("cannot create a temporary folder");
      root_ = pattern;
    } else {
      root_ = options.root;
      if (fs::exists(root_, ec) && !fs::is_empty(root_, ec))
        throw ToolError("[" + root_ +
                        "] is not empty; the demo builds its platform "
                        "in a new folder");
      fs::create_directories(root_, ec);
      if (ec) throw ToolError("cannot create [" + root_ + "]: " + ec.message());
    }
    fs::copy(fs::path(examples) / "platform", root_,
             fs::copy_options::recursive, ec);
    if (ec) {
      Remove();
      throw ToolError("cannot copy the example platform: " + ec.message());
    }
  }
  ~DemoPlatform() {
    if (!keep_) Remove();
  }
  DemoPlatform(const DemoPlatform&) = delete;
  DemoPlatform& operator=(const DemoPlatform&) = delete;
  const std::string& root() const { return root_; }
  bool kept() const { return keep_; }

 private:
  void Remove() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::string root_;
  bool keep_;
};

// The boot check of a restored VM: its outcome and the disks qemu attached
// as the destination describes them.
struct DemoBootCheck {
  std::string result;
  std::vector<std::string> disks;
};

DemoBootCheck CheckBoot(const std::string& folder) {
  if (!QemuInstalled()) return {"not checked: install qemu-system-x86", {}};
  DemoBootCheck check;
  BootCheck boot;
  SJobError error;
  if (!zyjobs::CheckBoot(folder, 5, boot, error)) return {error.text, {}};
  check.result = BootOutcomeText(boot.result.outcome);
  if (!boot.result.detail.empty()) check.result += ": " + boot.result.detail;
  for (const BootDisk& disk : boot.plan.disks)
    check.disks.push_back(BootDiskText(disk));
  return check;
}

void PrintBootCheck(const DemoBootCheck& check) {
  Print("  Boot check:    %s\n", check.result.c_str());
  for (const std::string& disk : check.disks)
    Print("                 %s\n", disk.c_str());
}

// The format and size of each disk image the step wrote, as the disk image
// component reads them back.
void PrintDiskImages(const RestoreOutcome& outcome) {
  if (outcome.facts.location.empty()) return;
  bool first = true;
  for (const VMInfoStructs::SDisk& disk : outcome.description.vDisks) {
    std::string path = CQiPath::Append(outcome.facts.location,
                                       CQiPath::GetBaseName(disk.fileName));
    std::error_code ec;
    if (disk.nFileType != VMInfoStructs::kFileTypeDisk ||
        !fs::is_regular_file(path, ec))
      continue;
    if (first) Print("Disk images written:\n");
    first = false;
    CArchiveVirtualDiskFile::ImageFacts_t facts;
    SJobError error;
    Require(InspectDiskImage(path, facts, error), error);
    struct stat file {};
    ::stat(path.c_str(), &file);
    Print("  %-28s %-6s %10s virtual %10s allocated\n",
          CQiPath::GetBaseName(path).c_str(), facts.format.c_str(),
          HumanBytes(facts.virtualSize).c_str(),
          HumanBytes(static_cast<uint64_t>(file.st_blocks) * 512).c_str());
  }
}

struct Step {
  std::string title;
  std::function<RestoreOutcome()> run;
};

}  // namespace

int RunDemo(const GlobalOptions& global, const DemoOptions& options) {
  std::string examples = FindExamples(options.examples);
  if (global.platformConfig.empty())
    ::setenv("ZY_PLATFORM_CONFIG", (examples + "/platform-config.json").c_str(),
             1);
  DemoPlatform platform(examples, options);
  GlobalOptions rooted = global;
  rooted.root = platform.root();
  std::string root = RequirePlatformRoot(rooted);
  std::string request = examples + "/requests/web01-restore.json";
  FolderJobPlatform folders(root);
  ConsoleObserver observer;
  // Runs the job on the demonstration platform.
  auto run = [&](RestoreJob& job) {
    job.platform = &folders;
    job.root = root;
    RestoreOutcome outcome;
    SJobError error;
    Require(RunRestoreJob(job, observer, outcome, error), error);
    return outcome;
  };
  // The thin images of the step that mounted (its disks are no images of
  // their own to show).
  std::vector<std::string> thinImages;
  auto restoreWeb01 = [&](VirtualServerInstanceType destination) {
    RestoreJob job;
    job.source = VS_VMWARE;
    job.destination = destination;
    SJobError error;
    Require(ReadRestoreRequest(request, job.request, error), error);
    return run(job);
  };
  std::vector<Step> steps = {
      {"VMware VM web01 restored to Hyper-V",
       [&] { return restoreWeb01(VS_HYPERV); }},
      {"VMware VM web01 restored to Amazon",
       [&] { return restoreWeb01(VS_AMAZON); }},
      {"VMware VM web01 restored to kind 1401",
       [&] { return restoreWeb01(VS_KIND_1401); }},
      {"Physical machine fileserver restored to VMware",
       [&] {
         RestoreJob job;
         job.source = VS_NONE;
         job.destination = VS_VMWARE;
         job.sourceFolder = examples + "/physical";
         SJobError error;
         Require(TranslatePhysicalMachine(
                     examples + "/physical/fileserver-request.xml", VS_VMWARE,
                     "", observer, job.request, error),
                 error);
         return run(job);
       }},
      {"VMware VM web01 mounted live to OpenStack",
       [&] {
         MountJob job;
         job.platform = &folders;
         job.root = root;
         job.source = VS_VMWARE;
         job.sourceVM = "web01";
         job.destination = VS_OPENSTACK;
         job.name = "web01-live";
         MountOutcome mounted;
         SJobError error;
         Require(RunMountJob(job, observer, mounted, error), error);
         thinImages = mounted.overlays;
         return RestoreOutcome{mounted.description, mounted.facts};
       }},
  };

  nlohmann::json results = nlohmann::json::array();
  for (size_t i = 0; i < steps.size(); ++i) {
    RestoreOutcome outcome;
    try {
      outcome = steps[i].run();
    } catch (const ToolError& e) {
      throw ToolError(steps[i].title + ": " + e.what());
    }
    DemoBootCheck boot;
    if (!outcome.facts.location.empty())
      boot = CheckBoot(outcome.facts.location);
    if (global.json) {
      nlohmann::json result =
          DescriptionJson(outcome.description, outcome.facts);
      result["step"] = steps[i].title;
      if (!boot.result.empty())
        result["bootCheck"] = {{"result", boot.result}, {"disks", boot.disks}};
      if (!thinImages.empty()) result["thinImages"] = thinImages;
      thinImages.clear();
      results.push_back(result);
      continue;
    }
    Print("== %zu/%zu %s ==\n", i + 1, steps.size(), steps[i].title.c_str());
    PrintDescription(outcome.description, outcome.facts);
    if (thinImages.empty()) PrintDiskImages(outcome);
    if (!thinImages.empty()) Print("Thin images:\n");
    for (const std::string& line : thinImages) Print("  %s\n", line.c_str());
    thinImages.clear();
    if (!boot.result.empty()) PrintBootCheck(boot);
    Print("\n");
  }
  if (global.json) {
    Print("%s\n", results.dump(2).c_str());
    return 0;
  }
  if (platform.kept())
    Print("The demonstration platform is in %s\n", platform.root().c_str());
  else
    Print(
        "The demonstration platform was temporary and is removed "
        "(--keep keeps it).\n");
  if (!LogPath().empty()) Print("The platform log is %s\n", LogPath().c_str());
  return 0;
}

void AddDemoCommand(CLI::App& app, const GlobalOptions& global,
                    CommandRun& run) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App* cmd = app.add_subcommand(
      "demo", "Run the main job end to end on the shipped examples");
  cmd->add_option("--examples", options->examples, "Examples folder");
  cmd->add_option("--into", options->root,
                  "Build the demonstration platform in this folder (kept)");
  cmd->add_flag("--keep", options->keep,
                "Keep the temporary platform and say where");
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunDemo(global, *options); };
  });
}

}  // namespace zytool
