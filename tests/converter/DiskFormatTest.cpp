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
