//===- ZyP2VUtilsLayout.cpp - Disk bus and slot layout --------------------===//
//
// A physical machine's devices sit wherever its controllers put them: IDE
// channels beyond the two a virtual machine has, more IDE devices than a
// virtual IDE controller holds, SCSI disks with gaps between their
// addresses, disks the user did not select, sometimes no CD-ROM.  These
// operations rewrite the device lists of a hardware configuration so that
// every device has an address a virtual machine can take.
//
//   IDE    bus 0 slot 0, bus 0 slot 1, bus 1 slot 0, bus 1 slot 1
//   SCSI   buses 0-3, slots 0-15, bus by bus; bus 3 slot 15 is the last
//   a free SCSI address for a disk pushed off IDE is looked for on buses 0
//   and 1 only, never at slot 7 (the controller's own unit on a VMware
//   virtual SCSI bus)
//
//===----------------------------------------------------------------------===//
#include "p2v/ZyP2VUtils.h"

#include "p2v/ZyP2VDeviceLists.h"
#include "platform/support/EvDebug.h"

using namespace zy_p2v;

namespace {

const char kAddIdeDiskFn[] =
    "static bool "
    "ZyP2VUtils::AddIDEDiskToListOfSCSIDisks(ResponseFile::DiskInfo, "
    "std::vector<ResponseFile::DiskInfo>&, size_t, bool)";
const char kProcessWinFn[] =
    "static bool ZyP2VUtils::ProcessWinKestrelDiskConfig(ResponseFile::"
    "HardwareConfig&)";
const char kCreateCdromFn[] =
    "static long int ZyP2VUtils::createIDECDROMDevice(ResponseFile::"
    "HardwareConfig&)";

struct SAddress {
  int nBus;
  int nSlot;
};

// The four IDE positions, in the order they are handed out.
constexpr SAddress kIdePositions[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};

constexpr int kLastScsiBus = 3;
constexpr int kLastScsiSlot = 15;
// Buses searched for a disk pushed off IDE, and the slot never used there.
constexpr int kFreeScsiSearchBuses[] = {0, 1};
constexpr int kScsiControllerSlot = 7;

bool Occupied(const DiskList& list, int bus, int slot) {
  for (const auto& d : list)
    if (IsAt(d, bus, slot)) return true;
  return false;
}

bool FindFreeScsiAddress(const DiskList& scsi, SAddress& free) {
  for (int bus : kFreeScsiSearchBuses) {
    for (int slot = 0; slot <= kLastScsiSlot; ++slot) {
      if (slot == kScsiControllerSlot || Occupied(scsi, bus, slot)) continue;
      free = {bus, slot};
      return true;
    }
  }
  return false;
}

bool IsRemovable(const Disk& d) {
  return d.getint64(Disk::selected) == 0 && d.getint64(Disk::keepFlag) == 0 &&
         d.getint32(Disk::deviceType) != kCdrom;
}

DiskList WithoutUnselected(const DiskList& list) {
  DiskList kept;
  for (const auto& d : list)
    if (!IsRemovable(d)) kept.push_back(d);
  return kept;
}

// Moves the IDE devices of a machine with more than four of them: disks go
// to SCSI, into the gaps first and then onto the end; everything else
// stays on IDE, renumbered from bus 0 slot 0.
class IdeToScsiMove {
 public:
  IdeToScsiMove(DiskList scsi, bool bootDiskOnIde)
      : m_scsi(std::move(scsi)), m_bootDiskOnIde(bootDiskOnIde) {}

  // False when the disk could not be placed; the move stops there.
  bool Place(size_t index, Disk device) {
    if (device.getint32(Disk::deviceType) != kHardDisk) {
      KeepOnIde(std::move(device));
      return true;
    }
    // The boot disk must stay the first SCSI disk.
    bool asFirst = index == 0 && m_bootDiskOnIde;
    if (!m_atEnd) {
      if (!SkipAdjacent()) return false;
      if (m_pos + 1 < m_scsi.size()) return FillGap(device, asFirst);
      m_atEnd = true;
    }
    return Append(device, asFirst);
  }

  const DiskList& Scsi() const { return m_scsi; }
  const DiskList& Ide() const { return m_ide; }

 private:
  void KeepOnIde(Disk device) {
    int bus = 0;
    int slot = 0;
    ZyP2VUtils::GetBusAndSlotForIDEDisk(static_cast<int>(m_ide.size()), bus,
                                        slot);
    SetAddress(device, bus, slot);
    m_ide.push_back(std::move(device));
  }

  // Advances the scan position over disks that follow one another.
  bool SkipAdjacent() {
    while (m_pos + 1 < m_scsi.size()) {
      const Disk& cur = m_scsi[m_pos];
      const Disk& next = m_scsi[m_pos + 1];
      bool adjacent = false;
      if (!ZyP2VUtils::IsSecondSCSIDiskImmediatelyAfterFirst(
              cur.getint32(Disk::bus), cur.getint32(Disk::slot),
              next.getint32(Disk::bus), next.getint32(Disk::slot), adjacent)) {
        EvDebug().Debug(kProcessWinFn,
                        "SCSI disk with unsupported address encountered. Bus: "
                        "%d, Slot: %d",
                        cur.getint32(Disk::bus), cur.getint32(Disk::slot));
        return false;
      }
      if (!adjacent) break;
      ++m_pos;
    }
    return true;
  }

  bool FillGap(const Disk& device, bool asFirst) {
    if (!ZyP2VUtils::AddIDEDiskToListOfSCSIDisks(device, m_scsi, m_pos + 1,
                                                 asFirst))
      return Stopped();
    ++m_pos;
    return true;
  }

  bool Append(const Disk& device, bool asFirst) {
    if (!ZyP2VUtils::AddIDEDiskToListOfSCSIDisks(device, m_scsi, m_scsi.size(),
                                                 asFirst))
      return Stopped();
    return true;
  }

  static bool Stopped() {
    EvDebug().Debug(kProcessWinFn,
                    "Stopping disk processing due to previous error");
    return false;
  }

  DiskList m_scsi;
  DiskList m_ide;
  bool m_bootDiskOnIde;
  size_t m_pos = 0;
  bool m_atEnd = false;
};

}  // namespace

void ZyP2VUtils::GetBusAndSlotForIDEDisk(int nIndex, int& nBus, int& nSlot) {
  int position = nIndex % 4;
  if (position < 0) return;
  nBus = kIdePositions[position].nBus;
  nSlot = kIdePositions[position].nSlot;
}

bool ZyP2VUtils::IsBusAndSlotForSCSIDiskValid(int nBus, int nSlot) {
  return nBus <= kLastScsiBus && nSlot <= kLastScsiSlot;
}

bool ZyP2VUtils::GetNextBusAndSlotForSCSIDisk(int nBus, int nSlot,
                                              int& nNextBus, int& nNextSlot) {
  if (!IsBusAndSlotForSCSIDiskValid(nBus, nSlot)) return false;
  if (nBus == kLastScsiBus && nSlot == kLastScsiSlot) return false;
  if (nSlot < kLastScsiSlot) {
    nNextBus = nBus;
    nNextSlot = nSlot + 1;
  } else {
    nNextBus = nBus + 1;
    nNextSlot = 0;
  }
  return true;
}

bool ZyP2VUtils::IsSecondSCSIDiskImmediatelyAfterFirst(int nFirstBus,
                                                       int nFirstSlot,
                                                       int nSecondBus,
                                                       int nSecondSlot,
                                                       bool& bAdjacent) {
  int bus = 0;
  int slot = 0;
  if (!GetNextBusAndSlotForSCSIDisk(nFirstBus, nFirstSlot, bus, slot))
    return false;
  bAdjacent = nSecondBus == bus && nSecondSlot == slot;
  return true;
}

bool ZyP2VUtils::AddIDEDiskToListOfSCSIDisks(
    ResponseFile::DiskInfo disk, std::vector<ResponseFile::DiskInfo>& vScsi,
    size_t nPos, bool bAsFirst) {
  if (vScsi.empty()) {
    SetAddress(disk, 0, 0);
    vScsi.push_back(std::move(disk));
    return true;
  }
  // A position past the end, or before the first disk, has no previous
  // disk to follow.
  if (nPos == 0 || nPos > vScsi.size()) return false;
  const Disk& previous = vScsi[nPos - 1];
  int bus = 0;
  int slot = 0;
  if (!GetNextBusAndSlotForSCSIDisk(previous.getint32(Disk::bus),
                                    previous.getint32(Disk::slot), bus, slot)) {
    EvDebug().Debug(kAddIdeDiskFn,
                    "Failed to get next bus and slot after SCSI disk with bus: "
                    "%d, slot: %d",
                    previous.getint32(Disk::bus),
                    previous.getint32(Disk::slot));
    return false;
  }
  if (!bAsFirst) {
    SetAddress(disk, bus, slot);
    vScsi.insert(vScsi.begin() + static_cast<std::ptrdiff_t>(nPos),
                 std::move(disk));
    return true;
  }
  // The boot disk takes the first address; the disk that held it moves to
  // the free address at nPos.
  Disk& first = vScsi[0];
  SetAddress(disk, first.getint32(Disk::bus), first.getint32(Disk::slot));
  SetAddress(first, bus, slot);
  Disk moved = first;
  vScsi.insert(vScsi.begin() + static_cast<std::ptrdiff_t>(nPos),
               std::move(moved));
  vScsi[0] = std::move(disk);
  return true;
}

void ZyP2VUtils::RemoveUnselectedDisksFromKestrelDiskConfig(
    ResponseFile::HardwareConfig& hw) {
  WriteIdeDevices(hw, WithoutUnselected(IdeDevices(hw)));
  WriteScsiDisks(hw, WithoutUnselected(ScsiDisks(hw)));
}

bool ZyP2VUtils::ProcessWinKestrelDiskConfig(ResponseFile::HardwareConfig& hw) {
  RemoveUnselectedDisksFromKestrelDiskConfig(hw);
  DiskList ide = IdeDevices(hw);
  if (ide.empty()) return true;

  // Up to four IDE devices fit; only devices beyond bus 1 need new
  // addresses.
  if (ide.size() < 5) {
    if (ide.back().getint32(Disk::bus) < 2) return true;
    for (size_t i = 0; i < ide.size(); ++i) {
      int bus = 0;
      int slot = 0;
      GetBusAndSlotForIDEDisk(static_cast<int>(i), bus, slot);
      SetAddress(ide[i], bus, slot);
    }
    WriteIdeDevices(hw, ide);
    return true;
  }

  Disk bootDisk = hw.GetObject<Disk>(HW::bootDisk);
  IdeToScsiMove move(ScsiDisks(hw), bootDisk.getint32(Disk::isScsi) == 0);
  bool ok = true;
  for (size_t i = 0; i < ide.size() && ok; ++i) ok = move.Place(i, ide[i]);
  // What was moved before an error stays moved; IDE devices not reached
  // are dropped.
  WriteScsiDisks(hw, move.Scsi());
  WriteIdeDevices(hw, move.Ide());
  return ok;
}

long ZyP2VUtils::getNextFreeIde(std::vector<ResponseFile::DiskInfo> vIde,
                                ResponseFile::DiskInfo& device) {
  for (const auto& position : kIdePositions) {
    if (Occupied(vIde, position.nBus, position.nSlot)) continue;
    SetAddress(device, position.nBus, position.nSlot);
    return 0;
  }
  return 1;
}

long ZyP2VUtils::createIDECDROMDevice(ResponseFile::HardwareConfig& hw) {
  EvDebug log;
  DiskList scsi = ScsiDisks(hw);
  DiskList ide = IdeDevices(hw);
  Disk cdrom;
  if (getNextFreeIde(ide, cdrom) == 0) {
    cdrom.setint64(Disk::deviceType, kCdrom);
    cdrom.setint64(Disk::isScsi, 0);
    ide.push_back(cdrom);
    log.Debug(kCreateCdromFn, " Added IDE CDROM device at bus [%d], slot [%d]",
              cdrom.getint32(Disk::bus), cdrom.getint32(Disk::slot));
    WriteIdeDevices(hw, ide);
    return 0;
  }

  // IDE is full: the disk at IDE 1:1 moves to SCSI and its place becomes
  // the CD-ROM.
  SAddress free{};
  if (!FindFreeScsiAddress(scsi, free)) {
    log.Debug(kCreateCdromFn,
              " Failed to get free SCSI slot to move IDE Disk Device");
    return 1;
  }
  log.Debug(kCreateCdromFn, " Found free SCIS Device at bus [%d], slot [%d]",
            free.nBus, free.nSlot);
  auto last = std::find_if(ide.begin(), ide.end(),
                           [](const Disk& d) { return IsAt(d, 1, 1); });
  // Only the size goes with the moved disk.
  Disk moved;
  moved.setint64(Disk::deviceType, kHardDisk);
  moved.setint64(Disk::isScsi, 1);
  if (last != ide.end())
    moved.setint64(Disk::sizeMB, last->getint64(Disk::sizeMB));
  SetAddress(moved, free.nBus, free.nSlot);
  scsi.push_back(moved);
  WriteScsiDisks(hw, scsi);

  if (last != ide.end()) {
    last->setint64(Disk::sizeMB, 0);
    last->setint64(Disk::deviceType, kCdrom);
    last->setint64(Disk::isScsi, 0);
  }
  WriteIdeDevices(hw, ide);
  return 0;
}
