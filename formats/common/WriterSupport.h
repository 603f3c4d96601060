//===- NativeWriterSupport.h - What the native description writers share -===//
//
// Internal to the writers of NativeWriters.h: the kinds of disk bus, the
// placement of disks and CD-ROM drives on addresses their destination
// controller has, and small facts of a description (firmware, OS disk).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "formats/common/NativeWriters.h"

#include <string>
#include <vector>

namespace native {

enum class Bus { Ide, Scsi, Sata, Nvme, Virtio, Xen, Other };

// The bus a controller text names ("ide", "scsi", "virtio_scsi", "sata",
// "nvme", "virtio", "xen"; any letter case); Other for anything else.
Bus BusOfController(const std::string& controller);
// "ide", "scsi", "sata", "nvme", "virtio", "xen", "other".
const char* BusName(Bus bus);

// The addresses a destination has on one kind of bus: controllers 0 ..
// nControllers-1, units 0 .. nUnits-1 on each, except nReservedUnit (the
// SCSI controller's own unit 7 on VMware).
struct SBusLimits {
  Bus bus;
  int nControllers;
  int nUnits;
  int nReservedUnit;  // -1: none
};

struct SPlacementRules {
  // The destination bus of a device from its own bus.
  Bus (*choose)(Bus from, bool cdrom, const VMInfoStructs::SVMInfo& info);
  std::vector<SBusLimits> limits;
  Bus overflow;  // where devices go when their bus is full
  // The units of one controller where its model decides them (VMware's
  // PVSCSI has 64, its LSI Logic 16); null, or a result below 0: the bus
  // row's nUnits.
  int (*unitsOf)(Bus bus, int controller,
                 const VMInfoStructs::SVMInfo& info) = nullptr;
};

// A disk or CD-ROM drive at its destination address.
struct SPlacedDevice {
  const VMInfoStructs::SDisk* disk;
  Bus bus;
  int nBus;
  int nSlot;
  bool cdrom;
};

// The hard disks and CD-ROM drives of a description (configuration files and
// other entries left out), in description order, each on a valid address of
// its destination bus.  Devices whose address is valid and free keep it; the
// others take the next free address (controller by controller, unit by
// unit), else one on the overflow bus, and a note says so.  A device with no
// free address anywhere is left out with a note, and so is a CD-ROM drive
// when the input's destination kind keeps none.
std::vector<SPlacedDevice> PlaceDevices(const VMInfoStructs::SVMInfo& info,
                                        const SNativeWriteInput& input,
                                        const SPlacementRules& rules,
                                        std::vector<std::string>& notes);

// The hard disks of a description in description order, the OS disk first.
std::vector<const VMInfoStructs::SDisk*> DisksOSFirst(
    const VMInfoStructs::SVMInfo& info);
// The OS disk: the hard disk marked isOSDisk, else isBootDisk, else the
// first hard disk; null without hard disks.
const VMInfoStructs::SDisk* OSDisk(const VMInfoStructs::SVMInfo& info);

bool IsHardDisk(const VMInfoStructs::SDisk& disk);
bool IsCdrom(const VMInfoStructs::SDisk& disk);
// strBootFirmware "EFI" or "UEFI", any letter case.
bool IsEfi(const VMInfoStructs::SVMInfo& info);
// A Windows guest by its OS type or guest OS text.
bool IsWindows(const VMInfoStructs::SVMInfo& info);
// The name of a disk's restored file: the last component of fileName.
std::string DiskFileName(const VMInfoStructs::SDisk& disk);
// The restored file under the input's disk folder, joined with '/' or the
// folder's own separator.
std::string DiskPath(const VMInfoStructs::SDisk& disk,
                     const SNativeWriteInput& input);
// "00:50:56:aa:bb:cc" from any of "00:50:56:AA:BB:CC", "00-50-56-aa-bb-cc",
// "005056aabbcc"; empty for anything that is not a MAC address.
std::string NormalMac(const std::string& mac);
// The UUID in lower case "8-4-4-4-12" form; empty when text is none.
std::string NormalUuid(const std::string& text);
// Memory and CPUs to write: the description's, else 1024 MiB and 1 CPU.
int64_t MemoryMB(const VMInfoStructs::SVMInfo& info);
int64_t CpuCount(const VMInfoStructs::SVMInfo& info);

}  // namespace native
