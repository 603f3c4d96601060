//===- BootDiskCheck.cpp - The OS disk where the destination's firmware looks ===//
//
// One table of bootable addresses per destination firmware, BIOS and EFI; controllers are
// named as the placement readers name them (formats/common/DiskPlacement.h).
//
//===----------------------------------------------------------------------===//
#include "BootDiskCheck.h"

#include "JobSupport.h"

#include "formats/common/FormatDrivers.h"
#include "model/PlatformKinds.h"
#include "platform/support/FXString.h"

#include <cstring>
#include <iterator>

namespace zyjobs {
namespace {

using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

struct SBootAddress {
  const char* controller;
  int bus;   // -1: any
  int unit;  // -1: any
};

// clang-format off
// A Hyper-V Generation 1 BIOS boots the disk at IDE 0:0 and no other.
constexpr SBootAddress kHyperVGeneration1[] = {{"ide", 0, 0}};
// Azure runs a generation 1 VM's OS disk at IDE 0:0.
constexpr SBootAddress kAzureGeneration1[] = {{"ide", 0, 0}};
// VMware's BIOS boots IDE, SATA and its SCSI models; NVMe needs EFI.
constexpr SBootAddress kVmwareBios[] = {
    {"ide", -1, -1}, {"sata", -1, -1}, {"lsilogic", -1, -1},
    {"lsisas1068", -1, -1}, {"buslogic", -1, -1}, {"pvscsi", -1, -1}};
// SeaBIOS, the BIOS of KVM guests, boots IDE, AHCI, virtio and LSI disks.
constexpr SBootAddress kSeaBios[] = {
    {"ide", -1, -1}, {"sata", -1, -1}, {"virtio", -1, -1},
    {"virtio-scsi", -1, -1}, {"lsilogic", -1, -1}};
// A Xen HVM guest's BIOS sees only the emulated IDE disks (hda..hdd, and
// xvda..xvdd as IDE).
constexpr SBootAddress kXenHvmBios[] = {{"ide", -1, -1}};
// An imported EC2 instance boots its first NVMe volume.
constexpr SBootAddress kEc2Bios[] = {{"nvme", 0, 0}};
// The OVMF of a Xen HVM guest is not sure to have a driver for the
// emulated SCSI controller (qemu's LSI 53C895A has none in Debian's OVMF);
// its emulated IDE disks it always boots.
constexpr SBootAddress kXenHvmEfi[] = {{"ide", -1, -1}};
// clang-format on

struct SFirmwareBoot {
  const char* format;  // the format driver of the destination's description
  const char* firmware;
  const SBootAddress* addresses;
  size_t count;
  // The destination has an IDE 0:0 its firmware boots from, for the OS disk.
  bool movesToIde;
  // A description without firmware is a paravirtual guest whose own loader
  // boots from any disk.
  bool loaderWithoutFirmware;
};

// The BIOS destinations, by the format their description is written in.
// clang-format off
constexpr SFirmwareBoot kBiosBoot[] = {
    {"hyperv",  "Hyper-V Generation 1 BIOS", kHyperVGeneration1, std::size(kHyperVGeneration1), true,  false},
    {"azure",   "Azure generation 1 BIOS",   kAzureGeneration1,  std::size(kAzureGeneration1),  false, false},
    {"vmx",     "VMware BIOS",               kVmwareBios,        std::size(kVmwareBios),        true,  false},
    {"libvirt", "SeaBIOS",                   kSeaBios,           std::size(kSeaBios),           true,  false},
    {"xen",     "Xen HVM BIOS",              kXenHvmBios,        std::size(kXenHvmBios),        true,  true},
    {"ec2",     "EC2 BIOS",                  kEc2Bios,           std::size(kEc2Bios),           false, false},
};
// The EFI destinations whose firmware does not boot every controller the
// description may name; the others boot the OS disk where it is placed.
constexpr SFirmwareBoot kEfiBoot[] = {
    {"xen",     "Xen HVM OVMF",              kXenHvmEfi,         std::size(kXenHvmEfi),         true,  true},
};
// clang-format on

template <size_t N>
const SFirmwareBoot* FirmwareBootOf(const SFirmwareBoot (&table)[N],
                                    const SFormatDriver& format) {
  for (const SFirmwareBoot& row : table)
    if (std::strcmp(row.format, format.name) == 0) return &row;
  return nullptr;
}

bool Boots(const SFirmwareBoot& firmware, const SPlacedDisk& disk) {
  for (size_t i = 0; i < firmware.count; ++i) {
    const SBootAddress& address = firmware.addresses[i];
    if (disk.controller == address.controller &&
        (address.bus < 0 || address.bus == disk.bus) &&
        (address.unit < 0 || address.unit == disk.unit))
      return true;
  }
  return false;
}

std::string BootAddresses(const SFirmwareBoot& firmware) {
  std::string text;
  for (size_t i = 0; i < firmware.count; ++i) {
    const SBootAddress& address = firmware.addresses[i];
    text += (i ? ", " : "") + std::string(address.controller);
    if (address.bus >= 0)
      text += " " + std::to_string(address.bus) + ":" +
              std::to_string(address.unit);
  }
  return text;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDevice(const SDisk& disk) {
  return disk.nFileType == VMInfoStructs::kFileTypeDisk &&
         (disk.nDeviceType == VMInfoStructs::kDeviceTypeHardDisk ||
          disk.nDeviceType == VMInfoStructs::kDeviceTypeCdrom);
}

// Where the destination places the OS disk called file: its description
// written and read back.  False when the description leaves it out.
bool PlaceOf(const SFormatDriver& format, const SVMInfo& info,
             const std::string& file, SDiskPlacement& placement,
             SPlacedDisk& placed) {
  SNativeDescription native = format.write(info, SNativeWriteInput());
  if (!native.error.empty()) throw JobFailure(native.error);
  std::vector<std::string> files;
  for (const SDisk& disk : info.vDisks)
    if (IsDevice(disk) && !disk.fileName.empty())
      files.push_back(BaseName(disk.fileName));
  std::string error;
  if (!format.place(native.text, files, placement, error))
    throw JobFailure("the " + std::string(format.name) +
                     " description written cannot be read back: " + error);
  for (const SPlacedDisk& disk : placement.disks)
    if (BaseName(disk.file) == file) {
      placed = disk;
      return true;
    }
  return false;
}

// The device of info at IDE 0:0 other than skip; null when it is free.
const SDisk* AtIde00(const SVMInfo& info, const SDisk* skip) {
  for (const SDisk& disk : info.vDisks)
    if (&disk != skip && IsDevice(disk) &&
        FXString::CompareNoCase(disk.strControllerType, "ide") == 0 &&
        disk.nBus == 0 && disk.nSlot == 0)
      return &disk;
  return nullptr;
}

std::string Where(const SPlacedDisk& disk) {
  return disk.controller + " " + std::to_string(disk.bus) + ":" +
         std::to_string(disk.unit);
}

std::string DeviceName(const SDisk& disk) {
  if (disk.nDeviceType == VMInfoStructs::kDeviceTypeCdrom)
    return "a CD-ROM drive";
  return "the disk [" + BaseName(disk.fileName) + "]";
}

}  // namespace

bool PlaceOSDiskForFirmware(VirtualServerInstanceType kind, SVMInfo& info,
                            std::string& note) {
  const SFormatDriver* format = FormatWrittenFor(kind);
  const SFirmwareBoot* bios = format ? FirmwareBootOf(kBiosBoot, *format)
                                    : nullptr;
  const SDisk* os = NativeOSDisk(info);
  if (!bios || !os || os->fileName.empty() || !format->place ||
      (bios->loaderWithoutFirmware && info.strBootFirmware.empty()))
    return false;
  const std::string file = BaseName(os->fileName);
  SDiskPlacement placement;
  SPlacedDisk placed;
  bool written = PlaceOf(*format, info, file, placement, placed);
  const SFirmwareBoot* firmware =
      placement.efi ? FirmwareBootOf(kEfiBoot, *format) : bios;
  if (!firmware || (written && Boots(*firmware, placed))) return false;
  const std::string where =
      written ? "sits on " + Where(placed) : std::string("has no place");
  const std::string rule = std::string(firmware->firmware) + " of " +
                           PlatformKindName(kind) + " boots only from " +
                           BootAddresses(*firmware);
  const std::string failure = "the VM cannot start on " +
                              PlatformKindName(kind) + ": its OS disk [" +
                              file + "] " + where + ", and the " + rule;
  const SDisk* taken = AtIde00(info, os);
  if (!firmware->movesToIde || taken)
    throw JobFailure(failure + (taken ? "; IDE 0:0 holds " + DeviceName(*taken)
                                      : std::string()));
  SVMInfo moved = info;
  moved.vDiskControllers = info.vDiskControllers;  // a copy leaves them out
  SDisk& disk = moved.vDisks[static_cast<size_t>(os - info.vDisks.data())];
  disk.strControllerType = "ide";
  disk.nBus = disk.nSlot = 0;
  SDiskPlacement again;
  SPlacedDisk now;
  if (!PlaceOf(*format, moved, file, again, now) || !Boots(*firmware, now))
    throw JobFailure(failure + "; moved to IDE 0:0, it " +
                     (now.controller.empty() ? std::string("has no place")
                                             : "sits on " + Where(now)));
  info = moved;
  info.vDiskControllers = moved.vDiskControllers;
  note = "The OS disk [" + file + "] is moved to IDE 0:0: it " + where +
         ", and the " + rule;
  return true;
}

}  // namespace zyjobs
