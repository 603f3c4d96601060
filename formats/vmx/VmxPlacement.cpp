//===- VmxPlacement.cpp - Where a VMware VM finds its disks ---------------===//
//
// A SCSI disk sits on its bus's controller model (LSI Logic when the file
// names none, as VMware does); the BIOS boots bios.hddOrder's device, else
// the first disk.
//
//===----------------------------------------------------------------------===//
#include "formats/common/DiskPlacement.h"
#include "formats/vmx/VMXFile.h"
#include "platform/support/FXString.h"

using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

namespace {

std::string ScsiModel(const SVMInfo& info, int bus) {
  for (const auto& controller : info.vDiskControllers)
    if (controller.strName == "scsi" && controller.nBusNumber == bus &&
        !controller.strControllerType.empty())
      return FXString::ToLower(controller.strControllerType);
  return "lsilogic";
}

}  // namespace

bool PlaceVmx(const std::string& text, const std::vector<std::string>&,
              SDiskPlacement& placement, std::string& error) {
  VMXFile file;
  SVMInfo info;
  if (!file.LoadText(text, "vmx") || !file.GetVMInfo(info)) {
    error = "the VMware configuration cannot be read";
    return false;
  }
  placement.efi = FXString::ToLower(info.strBootFirmware) == "efi";
  std::string bootDevice = FXString::ToLower(file.GetValue("bios.hddOrder"));
  bootDevice = bootDevice.substr(0, bootDevice.find(','));
  for (const SDisk& disk : info.vDisks) {
    if (!NamesHardDisk(disk)) continue;
    SPlacedDisk placed;
    placed.file = disk.fileName;
    placed.controller = disk.strControllerType == "scsi"
                            ? ScsiModel(info, disk.nBus)
                            : FXString::ToLower(disk.strControllerType);
    placed.bus = disk.nBus;
    placed.unit = disk.nSlot;
    placed.boot = bootDevice == disk.strControllerType +
                                    std::to_string(disk.nBus) + ":" +
                                    std::to_string(disk.nSlot);
    placement.disks.push_back(placed);
  }
  MarkFirstAsBoot(placement);
  return true;
}
