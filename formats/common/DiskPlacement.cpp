//===- DiskPlacement.cpp - What the placement readers share ---------------===//
#include "formats/common/DiskPlacement.h"

void MarkFirstAsBoot(SDiskPlacement& placement) {
  for (const SPlacedDisk& disk : placement.disks)
    if (disk.boot) return;
  if (!placement.disks.empty()) placement.disks.front().boot = true;
}

bool NamesHardDisk(const VMInfoStructs::SDisk& disk) {
  return disk.nDeviceType != VMInfoStructs::kDeviceTypeCdrom &&
         !disk.fileName.empty();
}
