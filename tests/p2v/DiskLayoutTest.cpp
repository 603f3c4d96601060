//===- DiskLayoutTest.cpp - Disk bus and slot layout ----------------------===//
#include "p2v/ZyP2VUtils.h"
#include "platform/support/EvDebug.h"
#include "tests/p2v/P2VRequests.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

using namespace p2v_test;

namespace {

DiskList Disks(const std::vector<SAddr>& addresses) {
  DiskList out;
  for (const auto& a : addresses) out.push_back(MakeDevice(a.bus, a.slot));
  return out;
}

// Marks the machine's boot disk as a SCSI one.
void ScsiBoot(HW& hw) {
  Disk boot;
  boot.setint64(Disk::isScsi, 1);
  hw.SetObject(HW::bootDisk, boot);
}

}  // namespace

// tests/data/p2v/addresses.cases: the next IDE and SCSI positions.
TEST(DiskLayout, IdeIndexWrapsAndScsiRunsBusByBusUpToBusThreeSlotFifteen) {
  for (const auto& c : golden::Table("p2v/addresses")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 4u);
    SAddr got{-9, -9};
    if (c.fields[0] == "ide") {
      ZyP2VUtils::GetBusAndSlotForIDEDisk(std::stoi(c.fields[1]), got.bus,
                                          got.slot);
    } else {
      size_t colon = c.fields[1].find(':');
      EXPECT_EQ(ZyP2VUtils::GetNextBusAndSlotForSCSIDisk(
                    std::stoi(c.fields[1]), std::stoi(c.fields[1].substr(colon + 1)),
                    got.bus, got.slot),
                c.fields[2] != "-9");
    }
    EXPECT_EQ(got.bus, std::stoi(c.fields[2]));
    EXPECT_EQ(got.slot, std::stoi(c.fields[3]));
  }
}

TEST(DiskLayout, AdjacencyIsUnknownAfterTheLastAddress) {
  bool adjacent = false;
  EXPECT_TRUE(
      ZyP2VUtils::IsSecondSCSIDiskImmediatelyAfterFirst(0, 15, 1, 0, adjacent));
  EXPECT_TRUE(adjacent);
  EXPECT_TRUE(
      ZyP2VUtils::IsSecondSCSIDiskImmediatelyAfterFirst(0, 1, 0, 3, adjacent));
  EXPECT_FALSE(adjacent);
  adjacent = true;
  EXPECT_FALSE(
      ZyP2VUtils::IsSecondSCSIDiskImmediatelyAfterFirst(3, 15, 0, 0, adjacent));
  EXPECT_TRUE(adjacent);
}

TEST(DiskLayout, NoDiskIsAddedAfterTheLastScsiAddress) {
  ScopedLogCapture capture;
  DiskList scsi = Disks({{3, 15}});
  EXPECT_FALSE(ZyP2VUtils::AddIDEDiskToListOfSCSIDisks(MakeDevice(0, 0), scsi,
                                                       1, false));
  EXPECT_EQ(scsi.size(), 1u);
  EXPECT_TRUE(capture.sink().Contains(
      "Failed to get next bus and slot after SCSI disk with bus: 3, slot: 15"));
  // A position with no disk before it is refused rather than read.
  EXPECT_FALSE(ZyP2VUtils::AddIDEDiskToListOfSCSIDisks(MakeDevice(0, 0), scsi,
                                                       0, false));
  EXPECT_FALSE(ZyP2VUtils::AddIDEDiskToListOfSCSIDisks(MakeDevice(0, 0), scsi,
                                                       5, false));
  EXPECT_EQ(scsi.size(), 1u);
}

TEST(DiskLayout, FourIdeDevicesBeyondBusOneAreRenumbered) {
  HW hw = MakeHw(Disks({{2, 0}, {2, 1}, {3, 0}, {3, 1}}), {});
  EXPECT_TRUE(ZyP2VUtils::ProcessWinKestrelDiskConfig(hw));
  EXPECT_EQ(Addresses(Ide(hw)),
            (std::vector<SAddr>{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));

  // Already on buses 0 and 1: left alone, gaps and all.
  hw = MakeHw(Disks({{0, 1}, {1, 1}, {0, 0}, {1, 0}}), {});
  EXPECT_TRUE(ZyP2VUtils::ProcessWinKestrelDiskConfig(hw));
  EXPECT_EQ(Addresses(Ide(hw)),
            (std::vector<SAddr>{{0, 1}, {1, 1}, {0, 0}, {1, 0}}));
}

// The boot disk, when it is an IDE one, goes first; the rest fill the gaps.
TEST(DiskLayout, IdeDisksBeyondFourFillScsiGapsThenTheEnd) {
  std::vector<SAddr> filled;
  for (int slot = 0; slot < 9; ++slot) filled.push_back({0, slot});
  for (bool ideBoot : {false, true}) {
    SCOPED_TRACE(ideBoot);
    DiskList ide = Disks({{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}});
    ide[0].setstring(Disk::name, "boot");
    DiskList scsi = Disks({{0, 0}, {0, 1}, {0, 3}});
    scsi[0].setstring(Disk::name, "data0");
    HW hw = MakeHw(ide, scsi);  // no boot disk given: isScsi reads 0
    if (!ideBoot) ScsiBoot(hw);
    EXPECT_TRUE(ZyP2VUtils::ProcessWinKestrelDiskConfig(hw));
    DiskList out = Scsi(hw);
    EXPECT_EQ(Addresses(out), filled);
    EXPECT_EQ(hw.getint64(HW::scsiCount), 9);
    EXPECT_EQ(hw.getint64(HW::ideCount), 0);
    if (ideBoot) {
      EXPECT_EQ(out[0].getstring(Disk::name), "boot");
      EXPECT_EQ(out[2].getstring(Disk::name), "data0");
    }
  }
}

TEST(DiskLayout, CdromAmongManyIdeDevicesStaysOnIde) {
  DiskList ide = Disks({{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}});
  ide[3] = MakeDevice(1, 1, kCd);
  HW hw = MakeHw(ide, {});
  EXPECT_TRUE(ZyP2VUtils::ProcessWinKestrelDiskConfig(hw));
  ASSERT_EQ(Ide(hw).size(), 1u);
  EXPECT_EQ(Ide(hw)[0].getint32(Disk::deviceType), kCd);
  EXPECT_EQ(Addresses(Scsi(hw)),
            (std::vector<SAddr>{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}}));
}

TEST(DiskLayout, MoveStopsAtAnUnsupportedScsiAddressKeepingWhatMoved) {
  ScopedLogCapture capture;
  DiskList ide = Disks({{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}});
  ide[0] = MakeDevice(0, 0, kCd);
  ide[1].setstring(Disk::name, "moved");
  ide[2].setstring(Disk::name, "lost");
  HW hw = MakeHw(ide, Disks({{3, 13}, {3, 15}, {3, 15}}));
  ScsiBoot(hw);
  EXPECT_FALSE(ZyP2VUtils::ProcessWinKestrelDiskConfig(hw));
  EXPECT_TRUE(capture.sink().Contains(
      "SCSI disk with unsupported address encountered. Bus: 3, Slot: 15"));
  // The first disk filled the gap at (3,14); the second met bus 3 slot 15
  // with a disk after it.  The CD-ROM stays; the disks not placed are
  // dropped.
  DiskList scsi = Scsi(hw);
  ASSERT_EQ(scsi.size(), 4u);
  EXPECT_EQ(scsi[1].getstring(Disk::name), "moved");
  EXPECT_EQ(Addresses({scsi[1]}), (std::vector<SAddr>{{3, 14}}));
  EXPECT_EQ(hw.getint64(HW::scsiCount), 4);
  ASSERT_EQ(Ide(hw).size(), 1u);
  EXPECT_EQ(hw.getint64(HW::ideCount), 1);
}

TEST(DiskLayout, MoveStopsWhenTheScsiListIsFull) {
  ScopedLogCapture capture;
  HW hw =
      MakeHw(Disks({{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}}), Disks({{3, 14}}));
  ScsiBoot(hw);
  EXPECT_FALSE(ZyP2VUtils::ProcessWinKestrelDiskConfig(hw));
  EXPECT_TRUE(capture.sink().Contains(
      "Stopping disk processing due to previous error"));
  EXPECT_EQ(Addresses(Scsi(hw)), (std::vector<SAddr>{{3, 14}, {3, 15}}));
  EXPECT_TRUE(Ide(hw).empty());
}

// Which slot the disk takes (never 7, up to bus 1 slot 15, or none) is in
// the vmware-full-ide-* and vmware-no-cdrom-possible cases of
// TranslationGoldenTest; here, what moves with it.
TEST(DiskLayout, FullIdeMovesOnlyTheSizeOfItsLastDiskToScsi) {
  ScopedLogCapture capture;
  DiskList ide = Disks({{0, 0}, {0, 1}, {1, 0}});
  ide.push_back(MakeDevice(1, 1, kHd, 4096, "ide11"));
  HW hw = MakeHw(ide, Disks({{0, 0}}));
  EXPECT_EQ(ZyP2VUtils::createIDECDROMDevice(hw), 0);
  DiskList moved = Scsi(hw);
  ASSERT_EQ(moved.size(), 2u);
  EXPECT_EQ(Addresses({moved.back()}), (std::vector<SAddr>{{0, 1}}));
  EXPECT_EQ(moved.back().getint32(Disk::sizeMB), 4096);
  EXPECT_EQ(moved.back().getint32(Disk::isScsi), 1);
  EXPECT_EQ(moved.back().getstring(Disk::name), "");
  EXPECT_EQ(hw.getint64(HW::scsiCount), 2);
  DiskList after = Ide(hw);
  ASSERT_EQ(after.size(), 4u);
  EXPECT_EQ(after[3].getint32(Disk::deviceType), kCd);
  EXPECT_EQ(after[3].getint32(Disk::sizeMB), 0);
}
