//===- BootDiskCheckTest.cpp - The OS disk where the firmware looks -------===//
//
// Each row is a VM as the converter leaves it: its firmware, its OS disk's
// controller and address, and what else sits at IDE 0:0.  The check reads
// it as the destination's native description places it.
//
//===----------------------------------------------------------------------===//
#include "jobs/BootDiskCheck.h"
#include "jobs/JobSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace zyjobs;
using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

namespace {

enum class AtIde00 { kNothing, kCdrom, kDisk };

struct Row {
  int line;
  VirtualServerInstanceType kind;
  const char* firmware;
  const char* controller;  // the OS disk's
  int bus, slot;
  AtIde00 other;
  const char* outcome;  // "" kept; "moved"; else in the failure
};

// clang-format off
const Row kRows[] = {
    // Hyper-V Generation 1 boots IDE 0:0 only: an NVMe VMware disk and a
    // Xen PV disk land on SCSI there.
    {__LINE__, VS_HYPERV,   "BIOS", "nvme", 0, 0, AtIde00::kNothing, "moved"},
    {__LINE__, VS_AZURE_2,  "",     "scsi", 0, 0, AtIde00::kNothing, "moved"},
    {__LINE__, VS_AZURE_3,  "BIOS", "xen",  0, 0, AtIde00::kNothing, "moved"},
    {__LINE__, VS_HYPERV,   "BIOS", "ide",  0, 0, AtIde00::kNothing, ""},
    {__LINE__, VS_HYPERV,   "BIOS", "ide",  0, 1, AtIde00::kCdrom,
     "its OS disk [os.img] sits on ide 0:1, and the Hyper-V Generation 1 BIOS "
     "of hyperv boots only from ide 0:0; IDE 0:0 holds a CD-ROM drive"},
    {__LINE__, VS_AZURE_2,  "BIOS", "scsi", 0, 0, AtIde00::kDisk,
     "[os.img] sits on hyper-v scsi 0:0, and the Hyper-V Generation 1 BIOS of "
     "402 boots only from ide 0:0; IDE 0:0 holds the disk [data.img]"},
    {__LINE__, VS_HYPERV,   "EFI",  "scsi", 0, 0, AtIde00::kNothing, ""},
    // VMware's BIOS boots SCSI but not NVMe.
    {__LINE__, VS_VMWARE,   "BIOS", "scsi", 0, 0, AtIde00::kNothing, ""},
    {__LINE__, VS_VMWARE,   "BIOS", "nvme", 0, 0, AtIde00::kNothing, "moved"},
    {__LINE__, VS_VMWARE,   "EFI",  "nvme", 0, 0, AtIde00::kNothing, ""},
    // A Xen HVM guest's BIOS sees xvda..xvdd as IDE; a PV guest's loader
    // boots any disk.
    {__LINE__, VS_ORACLE_VM, "BIOS", "xen", 0, 3, AtIde00::kNothing, ""},
    {__LINE__, VS_ORACLE_VM, "BIOS", "xen", 0, 4, AtIde00::kNothing, "moved"},
    {__LINE__, VS_ORACLE_VM, "",     "xen", 0, 4, AtIde00::kNothing, ""},
    // Its OVMF boots the emulated IDE disks, not always SCSI.
    {__LINE__, VS_ORACLE_VM, "EFI",  "scsi", 0, 0, AtIde00::kNothing, "moved"},
    {__LINE__, VS_ORACLE_VM, "EFI",  "xen", 0, 0, AtIde00::kNothing, ""},
    {__LINE__, VS_OPENSTACK, "BIOS", "virtio", 0, 0, AtIde00::kDisk, ""},
    {__LINE__, VS_AMAZON,    "BIOS", "scsi", 0, 1, AtIde00::kDisk, ""},
};
// clang-format on

SDisk Disk(const char* file, const char* controller, int bus, int slot) {
  SDisk disk;
  disk.fileName = file;
  disk.strControllerType = controller;
  disk.nBus = bus;
  disk.nSlot = slot;
  return disk;
}

TEST(BootDiskCheck, PutsTheOSDiskWhereTheFirmwareLooksOrRefusesTheVM) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    info.strVMName = "vm";
    info.strBootFirmware = row.firmware;
    info.vDisks.push_back(Disk("os.img", row.controller, row.bus, row.slot));
    info.vDisks.back().isOSDisk = true;
    if (row.other == AtIde00::kDisk)
      info.vDisks.push_back(Disk("data.img", "ide", 0, 0));
    if (row.other == AtIde00::kCdrom) {
      info.vDisks.push_back(Disk("", "ide", 0, 0));
      info.vDisks.back().nDeviceType = VMInfoStructs::kDeviceTypeCdrom;
    }
    std::string note, failure;
    bool moved = false;
    try {
      moved = PlaceOSDiskForFirmware(row.kind, info, note);
    } catch (const JobFailure& e) {
      failure = e.what();
    }
    const std::string outcome = row.outcome;
    EXPECT_EQ(moved, outcome == "moved") << failure;
    if (outcome.empty() || moved) {
      EXPECT_EQ(failure, "");
    } else {
      EXPECT_NE(failure.find(outcome), std::string::npos) << failure;
    }
    const SDisk& os = info.vDisks.front();
    EXPECT_EQ(os.strControllerType, moved ? "ide" : row.controller);
    EXPECT_EQ(os.nSlot, moved ? 0 : row.slot);
    EXPECT_EQ(note.find("is moved to IDE 0:0") != std::string::npos, moved);
  }
}

}  // namespace
