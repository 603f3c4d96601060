//===- AzurePlacement.cpp - Where an Azure VM of our template finds its disks
//
// Azure runs a generation 1 VM's OS disk on IDE 0:0 and the data disks on
// its synthetic SCSI controller; a generation 2 VM has SCSI only.  Azure
// takes fixed VHDs only, whatever the file names say.
//
//===----------------------------------------------------------------------===//
#include "formats/common/DiskPlacement.h"

bool PlaceAzureTemplate(const std::string& text,
                        const std::vector<std::string>& files,
                        SDiskPlacement& placement, std::string& error) {
  if (!ReadNamedDisks(text, files, placement, error)) return false;
  for (size_t i = 0; i < placement.disks.size(); ++i) {
    SPlacedDisk& disk = placement.disks[i];
    bool ide = i == 0 && !placement.efi;
    disk.controller = ide ? "ide" : "hyper-v scsi";
    disk.unit = ide ? 0 : static_cast<int>(i);
    disk.format = "vpc";
  }
  MarkFirstAsBoot(placement);
  return true;
}
