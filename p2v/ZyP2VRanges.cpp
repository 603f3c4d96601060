//===- ZyP2VRanges.cpp - Range checks of a recovery response's figures ----===//
//
// Sizes in a response are MB of 1,000,000 bytes; memory is MiB.  Values are
// read as 64-bit integers, so that a figure beyond 32 bits is seen as what
// it is instead of wrapping to a plausible one.
//
//===----------------------------------------------------------------------===//
#include "p2v/ZyP2VRanges.h"

#include "model/Limits.h"

namespace zy_p2v {
namespace {

using zylimits::InRange;

constexpr int64_t kBytesPerResponseMB = 1000000;
constexpr int64_t kMaxSizeMB = zylimits::kMaxDiskBytes / kBytesPerResponseMB;

// Addresses a physical machine's devices may have before the layout gives
// them virtual ones: IDE channels 2 and 3 are moved onto the first two.
constexpr int64_t kLastPhysicalIdeBus = 3;
constexpr int64_t kLastPhysicalIdeSlot = 1;

bool CheckField(const std::string& field, int64_t value, int64_t low,
                int64_t high, bool zeroIsAbsent, std::string& error) {
  if (InRange(value, low, high) || (zeroIsAbsent && value == 0)) return true;
  error = zylimits::OutOfRange(field, value, low, high);
  return false;
}

bool CheckDevices(const DiskList& list, const char* listName, int64_t lastBus,
                  int64_t lastSlot, std::string& error) {
  for (size_t i = 0; i < list.size(); ++i) {
    std::string at = std::string(listName) + "[" + std::to_string(i) + "].";
    const Disk& d = list[i];
    if (!CheckField(at + "sizeMB", d.getint64(Disk::sizeMB), 0, kMaxSizeMB,
                    false, error) ||
        !CheckField(at + "bus", d.getint64(Disk::bus), 0, lastBus, false,
                    error) ||
        !CheckField(at + "slot", d.getint64(Disk::slot), 0, lastSlot, false,
                    error))
      return false;
  }
  return true;
}

}  // namespace

bool CheckHardwareFigures(const HW& hw, std::string& error) {
  const zylimits::ControllerLimit* scsi = zylimits::FindControllerLimit("scsi");
  return CheckField("numCpus", hw.getint64(HW::numCpus), zylimits::kMinCpus,
                    zylimits::kMaxCpus, true, error) &&
         CheckField("memoryMB", hw.getint64(HW::memoryMB),
                    zylimits::kMinMemoryMiB, zylimits::kMaxMemoryMiB, true,
                    error) &&
         CheckDevices(hw.GetList<Disk>(HW::ideDevices), "ideDevices",
                      kLastPhysicalIdeBus, kLastPhysicalIdeSlot, error) &&
         CheckDevices(hw.GetList<Disk>(HW::scsiDisks), "scsiDisks",
                      scsi->lastBus, scsi->lastSlot, error);
}

void TakeWholeLists(HW& hw) {
  WriteIdeDevices(hw, hw.GetList<Disk>(HW::ideDevices));
  WriteScsiDisks(hw, hw.GetList<Disk>(HW::scsiDisks));
}

bool CheckLayoutAddresses(const std::vector<VMInfoStructs::SDisk>& disks,
                          std::string& error) {
  for (const auto& disk : disks) {
    const zylimits::ControllerLimit* limit =
        zylimits::FindControllerLimit(disk.strControllerType.c_str());
    if (!limit) continue;
    if (InRange(disk.nBus, 0, limit->lastBus) &&
        InRange(disk.nSlot, 0, limit->lastSlot))
      continue;
    error = "disk on " + disk.strControllerType + " " +
            std::to_string(disk.nBus) + ":" + std::to_string(disk.nSlot) +
            " is outside the controller's buses 0-" +
            std::to_string(limit->lastBus) + ", slots 0-" +
            std::to_string(limit->lastSlot);
    return false;
  }
  return true;
}

}  // namespace zy_p2v
