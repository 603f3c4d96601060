//===- DiskCopy.h - Disk images copied through the disk image component ---===//
//
// The jobs' disk copies: the disk image component's CopyImage, its progress
// told to the job's observer, its errors turned into one line.  The source's
// format is recognised from its content; the destination is written in the
// format its DiskType_t (restore) or the user (clone-disk) asks for, appears
// under its name only when whole, and is never replaced.
//
// A VM's disks are copied side by side, at most a given number at a time,
// each on a thread of its own with its own copy of what it needs; the job's
// thread alone tells the observer each disk's progress and the total.  When
// one copy fails, the others' children are stopped (StopGroup) and every
// partial file is removed; the job learns the first failure.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"

#include "model/VirtualServerTypes.h"
#include "platform/diskimage/CArchiveVirtualDiskFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zyjobs {

struct DiskCopyStats {
  std::string sourceFormat;  // what the source was read as ("VMDK", ...)
  std::string format;        // what the destination was written as
  uint64_t diskSize = 0;     // virtual size of the destination
  uint64_t bytesRead = 0;    // guest bytes of the blocks read
  uint64_t dataBytes = 0;    // of those, allocated ones written
  uint64_t allocatedBytes = 0;  // the destination file's allocation
  double seconds = 0;
  bool verified = false;  // compared with the source and found equal
  // Guest bytes read a second; 0 for a copy that took no time.
  double BytesPerSecond() const {
    return seconds > 0 ? static_cast<double>(bytesRead) / seconds : 0;
  }
};

// One disk of a VM to copy: what CopyDiskImage takes.
struct DiskCopyTask {
  std::string from;
  std::string to;
  ImageFormat_t format = ImageFormat_t::kRaw;
  uint64_t minimumSize = 0;
  std::string label;         // the disk's name in progress reports
  std::string statedFormat;  // the source description's, or empty
  bool verify = false;       // compare the guest data after the copy
};

// How many disks a VM copies at once unless told: one per processor, at
// most four (past that, the disks' bandwidth, not the processors, limits).
unsigned DefaultCopyJobs();

// The format a destination file name asks for by its extension (vmdk,
// vhd, vhdx, qcow2); raw for any other name.
ImageFormat_t FormatOfFileName(const std::string& path);

// A destination's format: the one shortName names (vmdk, vhd, vhd-fixed,
// vhdx, qcow2, raw) when given, else FormatOfFileName(path).  False for a
// short name no format has.
bool ChooseImageFormat(const std::string& shortName, const std::string& path,
                       ImageFormat_t& format, SJobError& error);

// Copies from to a new image to (which must not exist) in format, at least
// minimumSize bytes large; from is read in statedFormat when the source's
// description states one ("raw", "qcow2"), else in its content's format.
// The progress goes to observer under label.  A copy that cannot fit on the
// destination's file system is refused before anything is written ("[to]
// needs X, Y free on [folder]").  A failure is one line naming the file;
// the partly written destination is removed, the source only read.
// With verify, the guest data of the copy are compared with the source's
// before it takes its name; a difference fails the copy.
bool CopyDiskImage(const std::string& from, const std::string& to,
                   ImageFormat_t format, uint64_t minimumSize,
                   const std::string& label, IJobObserver& observer,
                   DiskCopyStats& stats, SJobError& error, bool verify = false);

// The format name and virtual size of an image, recognised from its
// content; false with a line naming the file when it cannot be read.
bool InspectDiskImage(const std::string& path,
                      CArchiveVirtualDiskFile::ImageFacts_t& facts,
                      SJobError& error);

namespace detail {
// The same inside the jobs: they throw JobFailure.
DiskCopyStats CopyDiskImage(const DiskCopyTask& task, IJobObserver& observer);
// Copies the disks of tasks, at most jobs (0: DefaultCopyJobs) at a time;
// their statistics in the order of tasks.  Throws the first failure once
// every copy has ended and removed its partial file.
std::vector<DiskCopyStats> CopyDisks(const std::vector<DiskCopyTask>& tasks,
                                     unsigned jobs, IJobObserver& observer);
CArchiveVirtualDiskFile::ImageFacts_t InspectDiskImage(const std::string& path);
// The bytes a copy of from in format, at least minimumSize large, takes on
// its destination's file system; with bound, a figure it never exceeds,
// found without qemu-img measure (CArchiveVirtualDiskFile::Measure).
uint64_t RequiredBytes(const std::string& from, ImageFormat_t format,
                       uint64_t minimumSize,
                       const std::string& statedFormat = "",
                       bool bound = false);
// Whether the file system of folder has needed bytes free (true when it
// cannot be asked: the write tells).
bool HasFreeSpace(const std::string& folder, uint64_t needed);
// Throws "<needing> X, Y free on [shown]" ("the disks need 2.0 GiB, ...")
// unless the file system of folder has needed bytes free.
void RequireFreeSpace(const std::string& folder, const std::string& shown,
                      uint64_t needed,
                      const std::string& needing = "the disks need");
}  // namespace detail

}  // namespace zyjobs
