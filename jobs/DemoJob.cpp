//===- DemoJob.cpp - The main job, end to end, on the shipped examples ----===//
#include "DemoJob.h"

#include "BootRunner.h"
#include "DiskCopy.h"
#include "FolderJobPlatform.h"
#include "JobSupport.h"
#include "MountJob.h"
#include "P2VJob.h"
#include "RestoreJob.h"

#include "platform/folder/FolderVMInfo.h"
#include "platform/support/FXPath.h"

#include <sys/stat.h>
#include <cstdlib>
#include <filesystem>
#include <iterator>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;

// The test guest reports within a second or two of emulation.
constexpr int kBootLimitSeconds = 5;

enum class How { kRestoreWeb01, kRestorePhysical, kMountWeb01 };

struct StepRow {
  const char* title;
  How how;
  VirtualServerInstanceType destination;
};

// clang-format off
constexpr StepRow kSteps[] = {
    {"VMware VM web01 restored to Hyper-V", How::kRestoreWeb01, VS_HYPERV},
    {"VMware VM web01 restored to Amazon", How::kRestoreWeb01, VS_AMAZON},
    {"VMware VM web01 restored to kind 1401", How::kRestoreWeb01, VS_KIND_1401},
    {"Physical machine fileserver restored to VMware", How::kRestorePhysical, VS_VMWARE},
    {"VMware VM web01 mounted live to OpenStack", How::kMountWeb01, VS_OPENSTACK},
};
// clang-format on

void Require(bool ok, const SJobError& error) {
  if (!ok) throw JobFailure(error.text);
}

// The demonstration platform: a copy of examples/platform.
class DemoPlatform {
 public:
  explicit DemoPlatform(const DemoRequest& request)
      : keep_(request.keep || !request.root.empty()) {
    std::error_code ec;
    if (request.root.empty()) {
      std::string pattern =
          (fs::temp_directory_path(ec) / "zyvm-demo-XXXXXX").string();
      if (!::mkdtemp(pattern.data()))
        throw JobFailure("cannot create a temporary folder");
      root_ = pattern;
    } else {
      root_ = request.root;
      if (fs::exists(root_, ec) && !fs::is_empty(root_, ec))
        throw JobFailure("[" + root_ +
                         "] is not empty; the demo builds its platform "
                         "in a new folder");
      fs::create_directories(root_, ec);
      if (ec)
        throw JobFailure("cannot create [" + root_ + "]: " + ec.message());
    }
    fs::copy(fs::path(request.examples) / "platform", root_,
             fs::copy_options::recursive, ec);
    if (ec) {
      Remove();
      throw JobFailure("cannot copy the example platform: " + ec.message());
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

// The steps on the demonstration platform at root.
class DemoRun {
 public:
  DemoRun(std::string examples, const std::string& root, IJobObserver& observer)
      : examples_(std::move(examples)),
        root_(root),
        platform_(root),
        observer_(observer) {}

  DemoStep Run(const StepRow& row) {
    if (row.how == How::kMountWeb01) return MountWeb01(row.destination);
    RestoreJob job;
    job.destination = row.destination;
    SJobError error;
    if (row.how == How::kRestoreWeb01) {
      job.source = VS_VMWARE;
      Require(ReadRestoreRequest(examples_ + "/requests/web01-restore.json",
                                 job.request, error),
              error);
    } else {
      job.source = VS_NONE;
      job.sourceFolder = examples_ + "/physical";
      Require(TranslatePhysicalMachine(
                  examples_ + "/physical/fileserver-request.xml",
                  row.destination, "", observer_, job.request, error),
              error);
    }
    job.platform = &platform_;
    job.root = root_;
    RestoreOutcome outcome;
    Require(RunRestoreJob(job, observer_, outcome, error), error);
    DemoStep step;
    step.description = outcome.description;
    step.facts = outcome.facts;
    return step;
  }

 private:
  DemoStep MountWeb01(VirtualServerInstanceType destination) {
    MountJob job;
    job.platform = &platform_;
    job.root = root_;
    job.source = VS_VMWARE;
    job.sourceVM = "web01";
    job.destination = destination;
    job.name = "web01-live";
    MountOutcome mounted;
    SJobError error;
    Require(RunMountJob(job, observer_, mounted, error), error);
    DemoStep step;
    step.description = mounted.description;
    step.facts = mounted.facts;
    step.thinImages = mounted.overlays;
    return step;
  }

  std::string examples_;
  std::string root_;
  FolderJobPlatform platform_;
  IJobObserver& observer_;
};

// The format and size of each disk image the step wrote.
std::vector<DemoDiskImage> DiskImagesOf(const DemoStep& step) {
  std::vector<DemoDiskImage> images;
  for (const VMInfoStructs::SDisk& disk : step.description.vDisks) {
    std::string path = CQiPath::Append(step.facts.location,
                                       CQiPath::GetBaseName(disk.fileName));
    std::error_code ec;
    if (disk.nFileType != VMInfoStructs::kFileTypeDisk ||
        !fs::is_regular_file(path, ec))
      continue;
    CArchiveVirtualDiskFile::ImageFacts_t facts =
        detail::InspectDiskImage(path);
    struct stat file {};
    ::stat(path.c_str(), &file);
    images.push_back({CQiPath::GetBaseName(path), facts.format,
                      facts.virtualSize,
                      static_cast<uint64_t>(file.st_blocks) * 512});
  }
  return images;
}

DemoBootCheck BootCheckOf(const std::string& folder) {
  if (!QemuInstalled()) return {"not checked: install qemu-system-x86", {}};
  BootCheck boot;
  SJobError error;
  if (!CheckBoot(folder, kBootLimitSeconds, boot, error))
    return {error.text, {}};
  DemoBootCheck check{BootOutcomeText(boot.result.outcome), {}};
  if (!boot.result.detail.empty()) check.result += ": " + boot.result.detail;
  for (const BootDisk& disk : boot.plan.disks)
    check.disks.push_back(BootDiskText(disk));
  return check;
}

std::string ExamplesFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path installed =
        self.parent_path().parent_path() / "share/zyvm/examples";
    if (fs::is_directory(installed, ec)) return installed.string();
  }
  for (const char* candidate : {ZY_INSTALLED_EXAMPLES_DIR, ZY_EXAMPLES_DIR})
    if (fs::is_directory(candidate, ec)) return candidate;
  throw JobFailure("cannot find the examples; give --examples FOLDER");
}

void RunSteps(const DemoRequest& request, IJobObserver& observer,
              const DemoStepDone& onStep, DemoOutcome& outcome) {
  if (request.examplesConfig)
    ::setenv("ZY_PLATFORM_CONFIG",
             (request.examples + "/platform-config.json").c_str(), 1);
  DemoPlatform platform(request);
  UseFolderPlatform(platform.root());
  outcome = {platform.root(), platform.kept()};
  DemoRun run(request.examples, platform.root(), observer);
  for (size_t i = 0; i < std::size(kSteps); ++i) {
    DemoStep step;
    try {
      step = run.Run(kSteps[i]);
    } catch (const JobFailure& e) {
      throw JobFailure(std::string(kSteps[i].title) + ": " + e.what());
    }
    step.title = kSteps[i].title;
    if (!step.facts.location.empty()) {
      if (step.thinImages.empty()) step.diskImages = DiskImagesOf(step);
      step.boot = BootCheckOf(step.facts.location);
    }
    onStep(step, i, std::size(kSteps));
  }
}

}  // namespace

bool RunDemoJob(const DemoRequest& request, IJobObserver& observer,
                const DemoStepDone& onStep, DemoOutcome& outcome,
                SJobError& error) {
  return AtBoundary(error,
                    [&] { RunSteps(request, observer, onStep, outcome); });
}

bool FindDemoExamples(std::string& examples, SJobError& error) {
  return AtBoundary(error, [&] {
    if (examples.empty()) examples = ExamplesFolder();
  });
}

}  // namespace zyjobs
