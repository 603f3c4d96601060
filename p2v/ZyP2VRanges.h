//===- ZyP2VRanges.h - Range checks of a recovery response's figures ------===//
//
// Internal to the physical-to-virtual operations.  The figures of a
// hardware configuration come from the machine's recovery agent and are
// checked before a VM is built from them: processors, memory, device sizes
// and addresses.  A count that disagrees with its list is not an error: the
// list is what the machine has, and the disagreement is reported.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VMInfoStructs.h"
#include "p2v/ZyP2VDeviceLists.h"

#include <string>
#include <vector>

namespace zy_p2v {

// False with error naming the field and its allowed range when a figure of
// hw is out of range ("numCpus is -5; it must be between 1 and 4096").
// Figures the response leaves at 0 are taken as not reported.
bool CheckHardwareFigures(const HW& hw, std::string& error);

// One line for each device list whose count disagrees with the list
// ("scsiCount is 1 but the response lists 2 SCSI disks; all 2 are used").
// Inline: the tool reports the same lines as warnings.
inline std::vector<std::string> CountMismatches(const HW& hw) {
  std::vector<std::string> lines;
  auto check = [&](const char* countName, int64_t count, size_t listed,
                   const char* what) {
    if (count == static_cast<int64_t>(listed)) return;
    lines.push_back(std::string(countName) + " is " + std::to_string(count) +
                    " but the response lists " + std::to_string(listed) + " " +
                    what + "; all " + std::to_string(listed) + " are used");
  };
  check("ideCount", hw.getint64(HW::ideCount),
        hw.GetList<Disk>(HW::ideDevices).size(), "IDE devices");
  check("scsiCount", hw.getint64(HW::scsiCount),
        hw.GetList<Disk>(HW::scsiDisks).size(), "SCSI disks");
  return lines;
}

// Sets each count to its list's length, so that no listed device is cut.
void TakeWholeLists(HW& hw);

// False with error when a disk of the finished layout sits at an address
// its controller does not have ("disk on ide 0:99 is outside the
// controller's buses 0-1, slots 0-1").
bool CheckLayoutAddresses(const std::vector<VMInfoStructs::SDisk>& disks,
                          std::string& error);

}  // namespace zy_p2v
