//===- Ec2ImportPlacement.cpp - Where an imported EC2 instance finds its disks
//
// The import request names the disk files, the OS disk first; an instance
// sees them as NVMe disks in that order and boots the first.
//
//===----------------------------------------------------------------------===//
#include "formats/common/DiskPlacement.h"

bool PlaceEc2Import(const std::string& text,
                    const std::vector<std::string>& files,
                    SDiskPlacement& placement, std::string& error) {
  if (!ReadNamedDisks(text, files, placement, error)) return false;
  for (size_t i = 0; i < placement.disks.size(); ++i) {
    placement.disks[i].controller = "nvme";
    placement.disks[i].unit = static_cast<int>(i);
  }
  MarkFirstAsBoot(placement);
  return true;
}
