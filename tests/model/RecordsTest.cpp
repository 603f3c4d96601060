//===- RecordsTest.cpp - Record defaults and copy rules -------------------===//
#include "model/Contexts.h"

#include <gtest/gtest.h>

using namespace VMInfoStructs;

namespace {

SVMInfo DescriptionWithEverything() {
  SVMInfo info;
  info.strVMName = "web";
  info.strGUID = "guid-1";
  info.i64NumCPUs = 4;
  info.i64MemoryMB = 8192;
  SDisk disk;
  disk.fileName = "web.vmdk";
  disk.vChildDisks.resize(2);
  info.vDisks = {disk, disk};
  info.vDiskControllers.resize(2);
  info.vDiskControllers[0].strName = "scsi";
  info.vNetworkCards.resize(1);
  info.vNetworkCards[0].strNetworkName = "LAN";
  info.vExtraOptions.push_back({"machine.id", "abc"});
  info.guestOSInfo.GuestOSName = "Windows";
  info.guestOSInfo.CPUArch = "x64";
  return info;
}

}  // namespace

TEST(Records, CopyOfADescriptionCarriesNoDiskControllers) {
  SVMInfo source = DescriptionWithEverything();
  SVMInfo assigned;
  assigned = source;
  SVMInfo constructed(source);
  for (const SVMInfo* copy : {&assigned, &constructed}) {
    EXPECT_TRUE(copy->vDiskControllers.empty());
    EXPECT_EQ(copy->strVMName, "web");
    ASSERT_EQ(copy->vDisks.size(), 2u);
    EXPECT_EQ(copy->vDisks[1].vChildDisks.size(), 2u);
    EXPECT_EQ(copy->vNetworkCards[0].strNetworkName, "LAN");
    EXPECT_EQ(copy->vExtraOptions[0].strValue, "abc");
    EXPECT_EQ(copy->guestOSInfo.CPUArch, "x64");
    EXPECT_EQ(copy->i64MemoryMB, 8192);
  }
}

// Self-assignment keeps everything; a disk copy replaces the child disks.
TEST(Records, SelfAssignmentAndChildDisks) {
  SVMInfo info = DescriptionWithEverything();
  info.vDiskControllers.resize(2);
  SVMInfo& alias = info;
  info = alias;
  EXPECT_EQ(info.vDiskControllers.size(), 2u);
  SDisk target = info.vDisks[0];
  SDisk& diskAlias = target;
  target = diskAlias;
  EXPECT_EQ(target.vChildDisks.size(), 2u);
  SDisk source;
  source.vChildDisks.resize(1);
  source.vChildDisks[0].strFileName = "delta-000001.vmdk";
  target = source;
  ASSERT_EQ(target.vChildDisks.size(), 1u);
  EXPECT_EQ(target.vChildDisks[0].strFileName, "delta-000001.vmdk");
  target = SDisk();
  EXPECT_TRUE(target.vChildDisks.empty());
}

TEST(Records, RestoreCtxAssignmentCopiesEverythingButTheControllers) {
  RestoreCtx source;
  source.vmInfo = DescriptionWithEverything();
  source.vmInfo.vDiskControllers.resize(2);
  source.vDisks.resize(2);
  source.vNetworkCards.resize(1);
  source.osName = "Windows";
  source.vFailures.resize(1);
  RestoreCtx target;
  target.vmInfo.vDiskControllers.resize(1);
  target = source;
  EXPECT_EQ(target.vmInfo.vDiskControllers.size(), 1u);
  EXPECT_EQ(target.vmInfo.vDisks.size() + target.vDisks.size(), 4u);
  EXPECT_EQ(target.vNetworkCards.size() + target.vFailures.size(), 2u);
  EXPECT_EQ(target.osName, "Windows");
}
