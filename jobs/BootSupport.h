//===- BootSupport.h - What the two ways of booting a plan share ----------===//
//
// A plan is booted either by qemu started here (BootRunner.cpp) or, for a
// libvirt domain, by libvirt's embedded QEMU driver (LibvirtBootRunner.cpp).
// Both hold the images the same way, checked as a copy checks what it reads,
// keep the guest's writes in overlays in a scratch folder, and read the
// guest's report from the first serial port the same way.  Internal to the
// jobs library.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "BootRunner.h"

#include "platform/support/UniqueFd.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace zyjobs {

// The scratch folder of one boot: the overlays, the serial output, qemu's
// messages; removed with everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

BootResult Outcome(BootOutcome outcome, const std::string& detail);

// One disk's image, held open from its checks to qemu's end; a mounted VM's
// thin image brings the backed-up image it reads through to.
struct HeldImage {
  UniqueFd fd;
  BootImage image;
};

// Every attached disk's image opened beneath folder with no link followed,
// a regular file of the stated format, checked by qemu-img (no backing
// file but a mount record's, no external data file) and given its overlay
// in work; the plan's disks get their markers.  The result has two entries
// a disk: its image, then (at disks.size() + i) the backed-up image of a
// mounted VM's thin image, else none; BootImage::file names the held
// descriptor as /dev/fdset/<index + 1>.  everyDisk holds the disks on
// controllers qemu has no model of as well.  Throws JobFailure naming the
// disk that fails a check.
std::vector<HeldImage> HoldImages(BootPlan& plan, const std::string& folder,
                                  const ScratchFolder& work,
                                  std::vector<std::string>& readFolders,
                                  bool everyDisk);

// A running qemu to watch: its pid (a child of this process), whether it
// leads a process group of its own, the file of its first serial port and
// that of its own messages.
struct RunningQemu {
  pid_t pid = -1;
  bool ownGroup = true;
  std::string serial;
  std::string messages;
};

// Watches the serial output until the guest reports, the firmware gives
// up, qemu stops or the limit passes (the Linux guest gets longer), then
// ends qemu.  Throws JobFailure when a signal asks the run to stop.
BootResult WatchBoot(const RunningQemu& qemu, const BootPlan& plan,
                     int limitSeconds);

// Boots a plan read from a libvirt domain through libvirt's embedded QEMU
// driver (LibvirtBootRunner.cpp).  False, with missing saying what, when
// virsh or libvirt's QEMU driver is not installed: the caller boots the
// plan by qemu instead.
bool BootInLibvirt(BootPlan& plan, const std::string& folder,
                   int limitSeconds, BootResult& result, std::string& missing);

}  // namespace zyjobs
