//===- DemoJob.h - The main job, end to end, on the shipped examples ------===//
//
// Builds a folder platform from the examples (a VMware VM "web01" with its
// configuration file and three small disks, hosts and instance types of
// the destinations, a physical machine's recovery request) and runs the
// main job on it:
//   1. web01 restored from VMware to Hyper-V,
//   2. web01 restored to Amazon,
//   3. web01 restored to kind 1401,
//   4. the physical machine "fileserver" turned into a VM and restored to
//      VMware,
//   5. web01 mounted live to OpenStack: thin qcow2 images over the backup's.
// Each restored VM is then booted as its destination describes it (a boot
// check): the examples' OS disks hold the boot checks' test guest
// (scripts/make-examples.sh), which reads its markers back through the
// firmware and reports.  Without qemu's x86 emulator the check says which
// package to install.
// The platform lives in a temporary folder that is removed at the end,
// unless the request keeps it or names a folder of its own.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"
#include "ResultFacts.h"

#include "model/VMInfoStructs.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zyjobs {

struct DemoRequest {
  // The examples: platform/, requests/, physical/ and platform-config.json.
  std::string examples;
  // The folder the platform is built in, absent or empty, kept afterwards;
  // empty: a new temporary folder.
  std::string root;
  bool keep = false;  // keep the temporary folder
  // Run with the examples' platform configuration (ZY_PLATFORM_CONFIG),
  // not the caller's.
  bool examplesConfig = true;
};

// Where the examples are when examples is empty: beside an installed
// program first (<prefix>/share/zyvm/examples), then where they are
// installed, then in the source tree the program was built from.  False
// when none is a folder.
bool FindDemoExamples(std::string& examples, SJobError& error);

// A disk image a step wrote, as the disk image component reads it back.
struct DemoDiskImage {
  std::string name;
  std::string format;
  uint64_t virtualBytes = 0;
  uint64_t allocatedBytes = 0;  // on its file system
};

// The boot check of a step's VM: its outcome ("booted", "failed boot: ...",
// "not checked: install qemu-system-x86") and the disks qemu attached, on
// which controllers.  An empty result: the step built no folder to check.
struct DemoBootCheck {
  std::string result;
  std::vector<std::string> disks;
};

struct DemoStep {
  std::string title;  // "VMware VM web01 restored to Hyper-V"
  VMInfoStructs::SVMInfo description;
  ResultFacts facts;
  std::vector<std::string> thinImages;    // a mount's (see MountOutcome)
  std::vector<DemoDiskImage> diskImages;  // a restore's
  DemoBootCheck boot;
};

struct DemoOutcome {
  std::string root;   // where the platform was built
  bool kept = false;  // false: it is removed
};

// Called with each step as it ends (index from 0 of count), before the next
// one starts.
using DemoStepDone =
    std::function<void(const DemoStep& step, size_t index, size_t count)>;

// Runs the steps in order; false with the failed step's title and reason.
// Each disk's progress, warnings and notes go to observer.
bool RunDemoJob(const DemoRequest& request, IJobObserver& observer,
                const DemoStepDone& onStep, DemoOutcome& outcome,
                SJobError& error);

}  // namespace zyjobs
