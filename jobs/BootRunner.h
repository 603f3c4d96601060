//===- BootRunner.h - A boot plan booted in qemu's x86 emulator -----------===//
//
// Starts qemu-system-x86_64 (software emulation, no network, no display,
// the images opened in snapshot mode so they are never written) with the
// plan's firmware and disks, and watches the first serial port for the test
// guest's report.  A guest that reports nothing within the limit, or whose
// firmware finds nothing to boot, is a failed boot.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "BootPlan.h"

#include <string>

namespace zyjobs {

enum class BootOutcome { kBooted, kFailed, kCannotCheck };

struct BootResult {
  BootOutcome outcome = BootOutcome::kFailed;
  std::string detail;  // why it failed, what cannot be checked
};

// "booted", "failed boot", "cannot check".
const char* BootOutcomeText(BootOutcome outcome);

// Whether qemu's x86 emulator is on the PATH.
bool QemuInstalled();

// Boots the plan's images, found in folder.  False, with error, when qemu
// is not installed (naming the Debian package) or cannot be started.
bool RunBootPlan(const BootPlan& plan, const std::string& folder,
                 int limitSeconds, BootResult& result, SJobError& error);

// A boot check: the plan read from the VM's folder, and how it booted.
struct BootCheck {
  BootPlan plan;
  BootResult result;
};

// Reads the plan of the VM in folder and boots it.  False, with error, when
// the plan cannot be read or qemu cannot be started.
bool CheckBoot(const std::string& folder, int limitSeconds, BootCheck& check,
               SJobError& error);

}  // namespace zyjobs
