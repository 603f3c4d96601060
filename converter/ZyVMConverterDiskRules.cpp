//===- ZyVMConverterDiskRules.cpp - Destination disk rules ----------------===//
//
// The small per-disk rules the naming pass and the disk conversion apply to
// a destination disk: the file extension of the destination format, sizes
// rounded up to whole GiB, and the controller each of OpenStack, Nutanix and
// RHEV puts a disk on.
//
// The platform setting VirtualServer/sConvertControllerTypeTo, when not
// empty, forces its text as the controller of every disk for all three
// controller rules.  It is read afresh on every call, so a change made while
// the agent runs applies to the next disk.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include "platform/support/FXString.h"
#include "platform/settings/PlatformConfig.h"

#include <cstdint>
#include <limits>

namespace {

const char kRoundUp[] =
    "void ZyVMConverter::RoundUpDiskSizeToNearestGB(VMInfoStructs::SDisk&)";

constexpr int64_t kGiB = int64_t{1} << 30;

// The controller type forced by the platform setting, or empty.
std::string ForcedControllerType() {
  ZyPlatformInfo platform;
  std::string forced;
  platform.getString("VirtualServer", "sConvertControllerTypeTo", forced);
  return forced;
}

// Replaces everything from the last "." of the file name by extension; the
// dot is looked for in the last path component only, so a dot in a folder
// name is never taken for the start of an extension.  A name without a dot
// stays as it is.
void ReplaceExtension(std::string& name, const std::string& extension) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return;
  size_t separator = name.find_last_of("/\\");
  if (separator != std::string::npos && separator > dot) return;
  name.replace(dot, std::string::npos, extension);
}

}  // namespace

void ZyVMConverter::CorrectDiskExtension(VMInfoStructs::SDisk& disk) {
  std::string extension =
      GetDestinationDiskExtension(static_cast<DiskType_t>(disk.eDiskType));
  ReplaceExtension(disk.fileName, extension);
  ReplaceExtension(disk.diskIndexName, extension);
}

void ZyVMConverter::RoundUpDiskSizeToNearestGB(VMInfoStructs::SDisk& disk) {
  const int64_t size = disk.i64MaxSizeInBytes;
  if (size <= 0 || size % kGiB == 0) return;
  const int64_t wholeGiB = size / kGiB + 1;
  // The largest sizes cannot be rounded up within a signed 64-bit size.
  if (wholeGiB > std::numeric_limits<int64_t>::max() / kGiB) return;
  disk.i64MaxSizeInBytes = wholeGiB * kGiB;
  Debug(kRoundUp, "Disk size is set to [%s] bytes from [%s] bytes",
        IntToCommaString(disk.i64MaxSizeInBytes).c_str(),
        IntToCommaString(size).c_str());
}

std::string ZyVMConverter::GetOpenStackControllerType(
    const std::vector<VMInfoStructs::SDisk>& disks) {
  std::string forced = ForcedControllerType();
  if (!forced.empty()) return forced;
  int diskCount = 0;
  for (const auto& disk : disks)
    diskCount += disk.nFileType == VMInfoStructs::kFileTypeDisk;
  // IDE takes four disks; a VM with more has every disk on virtio.
  return diskCount > 4 ? "virtio" : "ide";
}

std::string ZyVMConverter::GetNutanixControllerType(
    int position, VirtualServerInstanceType source,
    const std::string& controllerType) {
  std::string forced = ForcedControllerType();
  if (!forced.empty()) return forced;
  // RHEV's virtio_scsi disks stay on SCSI; its other disks go on SATA.
  if (source == VS_RHEV)
    return controllerType == "virtio_scsi" ? "scsi" : "sata";
  // SATA takes the first six disks.
  return position > 5 ? "scsi" : "sata";
}

std::string ZyVMConverter::GetRhevControllerType(int position) {
  std::string forced = ForcedControllerType();
  if (!forced.empty()) return forced;
  // IDE takes the first three disks.
  return position > 2 ? "virtio_scsi" : "ide";
}
