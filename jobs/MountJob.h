//===- MountJob.h - A backed-up VM run on another platform, nothing copied ===//
//
// A live mount builds a VM of the destination kind whose disks are thin
// images over the backed-up ones (OverlayImages.h): it runs at once, the
// guest's writes stay in the thin images, the backup is never written.
//   1. the destination must take thin images (the kind table's overlay
//      column: a qcow2 overlay, a VMDK delta, or none, which is refused
//      before anything is done); each backed-up disk image is checked as
//      the disk image component checks what it reads (no backing file or
//      external reference of its own) and read in its stated format;
//   2. the source VM is mounted through its access object (MountVM) in a
//      locked staging folder of the root, and ConvertVMForLiveMount builds
//      the mounted VM's description from the mounted files, with the
//      destination's disk names (a name not given is the library's, from
//      the VM's name, the mount id and the process id);
//   3. one thin image a disk is made in the staging folder under the
//      destination's disk name, naming the backup's own image (in the
//      source VM's folder, not the mount folder's link or copy of it) by
//      absolute path; the destination builds the VM from them
//      (FinalizeConvertedVM) with its native description, and a mount
//      record ("mount.json") in the VM's folder lists what the mount placed
//      and each disk's backing image;
//   4. the staging folder goes, with the source's mount.
// Unmount removes what the record lists, the record last, and the VM's
// folder when nothing else is in it.  Promote writes each disk as an
// independent image in the destination's own format (the backed-up bytes
// and the guest's writes, merged) beside it under a temporary name; only
// when every disk is written are they renamed over the thin images, the
// descriptions rewritten and the record removed, so a promote that stops
// earlier leaves the mounted VM as it was (its next run removes the
// temporary files).
// A failure is one line; a mount that fails leaves nothing behind.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"
#include "JobPlatform.h"
#include "ResultFacts.h"

#include "model/VMInfoStructs.h"
#include "model/VirtualServerTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zyjobs {

// The mount ids a mount takes: the platform's are positive 32-bit numbers.
constexpr int64_t kSmallestMountId = 1;
constexpr int64_t kLargestMountId = 2147483647;

// The file in a mounted VM's folder that makes it a mounted VM.
constexpr char kMountRecordName[] = "mount.json";

struct MountJob {
  IJobPlatform* platform = nullptr;  // the source's and the destination's
  std::string root;                  // platform root
  VirtualServerInstanceType source = VS_NONE;
  std::string sourceVM;  // the backed-up VM's name
  VirtualServerInstanceType destination = VS_NONE;
  std::string name;  // the mounted VM's; empty: the library's generated one
  int64_t mountId = kSmallestMountId;
};

// A VM of the platform: kind and name.
struct MountedVM {
  IJobPlatform* platform = nullptr;
  std::string root;
  VirtualServerInstanceType kind = VS_NONE;
  std::string name;
};

struct MountOutcome {
  VMInfoStructs::SVMInfo description;  // as the destination holds it
  ResultFacts facts;
  // A mount's thin images: "web01.vmdk: qcow2 over /root/vmware/web01/
  // web01.vmdk (VMDK)".
  std::vector<std::string> overlays;
};

// Mounts; false with one line, and nothing left behind, on failure.
bool RunMountJob(const MountJob& job, IJobObserver& observer,
                 MountOutcome& outcome, SJobError& error);

// Removes a mounted VM and its thin images, and nothing else.
bool RunUnmountJob(const MountedVM& vm, IJobObserver& observer,
                   SJobError& error);

// Turns a mounted VM into one that no longer needs the backup.
bool RunPromoteJob(const MountedVM& vm, IJobObserver& observer,
                   MountOutcome& outcome, SJobError& error);

// Why a kind cannot take a live mount (the format it would need), or empty
// when it can.
std::string MountRefusal(VirtualServerInstanceType destination);

}  // namespace zyjobs
