//===- ZyP2VDeviceLists.h - Device lists of a hardware configuration ------===//
//
// Internal to the physical-to-virtual operations.  A hardware configuration
// holds its IDE and SCSI devices as lists with separate counts.  A request
// whose count disagrees with its list must not make the layout read past
// the list, so the devices read are those both the count and the list
// hold, and every write puts the list and its length back together.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/messages/RecoveryMessages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zy_p2v {

using DiskList = std::vector<ResponseFile::DiskInfo>;
using HW = ResponseFile::HardwareConfig;
using Disk = ResponseFile::DiskInfo;

// The devices of a list: the entries its count covers, no more than the
// list holds.  For a consistent request that is the whole list.
inline DiskList CountedDevices(DiskList list, int32_t count) {
  size_t length = count <= 0 ? 0 : static_cast<size_t>(count);
  if (length < list.size()) list.erase(list.begin() + length, list.end());
  return list;
}

inline DiskList IdeDevices(const HW& hw) {
  return CountedDevices(hw.GetList<Disk>(HW::ideDevices),
                        hw.getint32(HW::ideCount));
}
inline DiskList ScsiDisks(const HW& hw) {
  return CountedDevices(hw.GetList<Disk>(HW::scsiDisks),
                        hw.getint32(HW::scsiCount));
}

inline void WriteIdeDevices(HW& hw, const DiskList& ide) {
  hw.SetList(HW::ideDevices, ide);
  hw.setint64(HW::ideCount, static_cast<int64_t>(ide.size()));
}
inline void WriteScsiDisks(HW& hw, const DiskList& scsi) {
  hw.SetList(HW::scsiDisks, scsi);
  hw.setint64(HW::scsiCount, static_cast<int64_t>(scsi.size()));
}

inline void SetAddress(Disk& d, int bus, int slot) {
  d.setint64(Disk::bus, bus);
  d.setint64(Disk::slot, slot);
}
inline bool IsAt(const Disk& d, int bus, int slot) {
  return d.getint32(Disk::bus) == bus && d.getint32(Disk::slot) == slot;
}

// Device kinds of DiskInfo::deviceType.
constexpr int32_t kCdrom = 0;
constexpr int32_t kHardDisk = 1;

}  // namespace zy_p2v
