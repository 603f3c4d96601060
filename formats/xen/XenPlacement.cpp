//===- XenPlacement.cpp - Where a Xen / Oracle VM guest finds its disks ---===//
//
// An HVM guest sees its first four xvd disks as IDE (xvda is IDE 0:0); a
// paravirtual guest (no firmware) boots through its own loader from the
// Xen paravirtual bus.
//
//===----------------------------------------------------------------------===//
#include "formats/common/DiskPlacement.h"
#include "formats/common/FormatText.h"
#include "platform/support/FXString.h"

bool PlaceXenDomain(const std::string& text, const std::vector<std::string>&,
                    SDiskPlacement& placement, std::string& error) {
  VMInfoStructs::SVMInfo info;
  if (!ParseXenDomainConfig(text, info, error)) {
    error = "the Oracle VM configuration cannot be read: " + error;
    return false;
  }
  placement.efi = FXString::ToLower(info.strBootFirmware) == "efi";
  bool hvm = !info.strBootFirmware.empty();
  for (const VMInfoStructs::SDisk& disk : info.vDisks) {
    if (!NamesHardDisk(disk)) continue;
    SPlacedDisk placed;
    placed.file = disk.fileName;
    placed.controller = disk.strControllerType == "scsi"
                            ? "lsilogic"
                            : FXString::ToLower(disk.strControllerType);
    placed.bus = disk.nBus;
    placed.unit = disk.nSlot;
    if (disk.strControllerType == "xen") {
      bool ide = hvm && disk.nSlot < 4;
      placed.controller = ide ? "ide" : "xen paravirtual";
      placed.bus = ide ? disk.nSlot / 2 : 0;
      placed.unit = ide ? disk.nSlot % 2 : disk.nSlot;
    }
    placed.boot = disk.isOSDisk;
    placement.disks.push_back(placed);
  }
  MarkFirstAsBoot(placement);
  return true;
}
