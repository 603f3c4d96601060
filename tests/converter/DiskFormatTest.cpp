//===- DiskFormatTest.cpp - Disk formats of kinds no table row names ------===//
#include "converter/ZyVMConverter.h"

#include <gtest/gtest.h>

#include <climits>

TEST(DiskFormat, KindsAndFormatsOutsideTheTablesGetTheDefaults) {
  ZyVMConverter converter;
  for (int kind : {0, 103, -1, 404, 1100, INT_MAX}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(ZyVMConverter::DetermineDestinationDiskType(
                  static_cast<VirtualServerInstanceType>(kind)),
              DT_NONE);
  }
  for (int format : {0, 1, 19, 25, -5}) {
    SCOPED_TRACE(format);
    auto type = static_cast<DiskType_t>(format);
    EXPECT_EQ(converter.GetDestinationDiskExtension(type), "");
    EXPECT_EQ(ZyVMConverter::DetermineDestinationDiskProvisioningType(type), 2);
  }
}

TEST(DiskFormat, ExtensionLookupLogsAtLevelTwo) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  converter.GetDestinationDiskExtension(DT_AMAZON);
  auto records = capture.sink().Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].kind, LogKind::DebugLvl);
  EXPECT_EQ(records[0].level, 2);
  EXPECT_EQ(
      records[0].function,
      "std::string ZyVMConverter::GetDestinationDiskExtension(DiskType_t)");
  EXPECT_EQ(records[0].message,
            "Disk extension is [.vhdx] for converted disk type [24]");
}
