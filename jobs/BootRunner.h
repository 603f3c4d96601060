//===- BootRunner.h - A boot plan booted in qemu's x86 emulator -----------===//
//
// Starts qemu-system-x86_64 (software emulation, no network, no display)
// with the plan's firmware and disks, and watches the first serial port for
// the test guest's report.  A libvirt domain is started by libvirt's own
// embedded QEMU driver instead, so that libvirt's addressing and device
// models decide; only where virsh or that driver is not installed is it
// booted from our own reading of the domain, and the result notes it.  A guest that reports nothing within the limit,
// or whose firmware finds nothing to boot, is a failed boot.
//
// The images are opened as a copy opens them: each beneath the VM's folder
// with no link followed, held open, checked by qemu-img (no backing file,
// no external data file, the stated format), and handed to qemu as that
// open descriptor (-add-fd) under a pinned node graph with a qcow2 overlay
// in a scratch folder, so they are never written and a file renamed in
// between is never the one booted.  qemu runs confined (Landlock) to the
// VM's folder (read) and the scratch folder.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "BootPlan.h"

#include <string>
#include <vector>

namespace zyjobs {

enum class BootOutcome { kBooted, kFailed, kCannotCheck };

// The OS check, run when the boot disk holds the Linux test guest
// (BootPlan.h): not run, every disk seen where its description puts it, a
// disk missing or misplaced, or a controller the guest's kernel cannot
// bring up on qemu.
enum class OsOutcome { kNotRun, kPassed, kFailed, kNotPossible };

struct BootResult {
  BootOutcome outcome = BootOutcome::kFailed;  // the firmware check
  std::string detail;  // why it failed, what cannot be checked
  OsOutcome os = OsOutcome::kNotRun;
  std::string osDetail;           // why the OS check failed or cannot run
  std::vector<std::string> seen;  // the disks the OS found (CheckOsReport)
  double seconds = 0;             // from qemu's start to its end
  std::string runner;  // what booted the plan: "libvirt" or "qemu"
  std::string note;    // why a libvirt domain was booted by qemu instead
};

// The OS check's one line: "OS check: 3 disks seen", "OS check failed:
// <why>", "OS check not possible on qemu: <controller>"; "" when not run.
std::string OsCheckText(const BootResult& result);

// "booted", "failed boot", "cannot check".
const char* BootOutcomeText(BootOutcome outcome);

// The check's verdict as an exit status: 0 booted (and the OS check passed
// where it ran), 1 failed, 3 cannot be checked (firmware or OS check).
int BootExitStatus(const BootResult& result);

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
