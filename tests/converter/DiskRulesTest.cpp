//===- DiskRulesTest.cpp - Destination disk extension, size, controller ---===//
#include "converter/ZyVMConverter.h"

#include "platform/settings/PlatformConfig.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

#include <climits>

using VMInfoStructs::SDisk;

namespace {

constexpr int64_t kGiB = int64_t{1} << 30;

// Clears in-process settings before and after a test.
struct ScopedSettings {
  ScopedSettings() { PlatformConfig::ClearInProcess(); }
  ~ScopedSettings() { PlatformConfig::ClearInProcess(); }
};

SDisk DiskWithSize(int64_t size) {
  SDisk disk;
  disk.i64MaxSizeInBytes = size;
  disk.i64CurrSizeInBytes = 7;
  return disk;
}

}  // namespace

TEST(DiskRules, CorrectDiskExtensionPutsTheFormatsExtension) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& c : golden::Table("converter/rules/disk-extension")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 5u);
    SDisk disk;
    disk.eDiskType = std::stoi(c.fields[0]);
    disk.fileName = c.fields[1];
    disk.diskIndexName = c.fields[2];
    converter.CorrectDiskExtension(disk);
    EXPECT_EQ(disk.fileName, c.fields[3]);
    EXPECT_EQ(disk.diskIndexName, c.fields[4]);
    EXPECT_EQ(disk.eDiskType, std::stoi(c.fields[0]));
  }
}

TEST(DiskRules, RoundUpDiskSizeToNearestGBAtItsBoundaries) {
  struct Row {
    int line;
    int64_t size;
    int64_t rounded;
  };
  // clang-format off
  const Row rows[] = {
      // 1 and kGiB + 1, with the lines logged: the naming golden files.
      {__LINE__, 0, 0},
      {__LINE__, kGiB - 1, kGiB},
      {__LINE__, kGiB, kGiB},
      {__LINE__, -1, -1},
      {__LINE__, INT64_MIN, INT64_MIN},
      // The last size that still rounds up, and the ones that cannot.
      {__LINE__, INT64_MAX - kGiB, INT64_MAX - kGiB + 1},
      {__LINE__, INT64_MAX - kGiB + 1, INT64_MAX - kGiB + 1},
      {__LINE__, INT64_MAX - kGiB + 2, INT64_MAX - kGiB + 2},
      {__LINE__, INT64_MAX, INT64_MAX},
  };
  // clang-format on
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    SDisk disk = DiskWithSize(row.size);
    converter.RoundUpDiskSizeToNearestGB(disk);
    EXPECT_EQ(disk.i64MaxSizeInBytes, row.rounded);
    EXPECT_EQ(disk.i64CurrSizeInBytes, 7);
  }
}

TEST(DiskRules, OpenStackPutsMoreThanFourDisksOnVirtio) {
  struct Row {
    int line;
    int disks;
    int configFiles;
    const char* controller;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 0, 0, "ide"},    {__LINE__, 4, 0, "ide"},
      {__LINE__, 4, 3, "ide"},    {__LINE__, 5, 0, "virtio"},
      {__LINE__, 9, 1, "virtio"},
  };
  // clang-format on
  ScopedSettings settings;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<SDisk> list;
    for (int i = 0; i < row.configFiles; ++i) {
      list.emplace_back();
      list.back().nFileType = 0;
    }
    for (int i = 0; i < row.disks; ++i) list.emplace_back();
    EXPECT_EQ(converter.GetOpenStackControllerType(list), row.controller);
  }
}

TEST(DiskRules, NutanixControllerBySourceAndPosition) {
  ScopedSettings settings;
  ZyVMConverter converter;
  for (const auto& c : golden::Table("converter/rules/nutanix-controller")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 4u);
    EXPECT_EQ(converter.GetNutanixControllerType(
                  std::stoi(c.fields[0]),
                  static_cast<VirtualServerInstanceType>(std::stoi(c.fields[1])),
                  c.fields[2]),
              c.fields[3]);
  }
}

TEST(DiskRules, RhevPutsTheFirstThreeDisksOnIde) {
  ScopedSettings settings;
  ZyVMConverter converter;
  EXPECT_EQ(converter.GetRhevControllerType(0), "ide");
  EXPECT_EQ(converter.GetRhevControllerType(2), "ide");
  EXPECT_EQ(converter.GetRhevControllerType(3), "virtio_scsi");
  EXPECT_EQ(converter.GetRhevControllerType(INT_MAX), "virtio_scsi");
}

TEST(DiskRules, ThePlatformSettingForcesEveryController) {
  ScopedSettings settings;
  ZyVMConverter converter;
  std::vector<SDisk> five(5);
  PlatformConfig::SetSetting("VirtualServer", "sConvertControllerTypeTo",
                             "Scsi ");
  EXPECT_EQ(converter.GetOpenStackControllerType(five), "Scsi ");
  EXPECT_EQ(converter.GetNutanixControllerType(9, VS_VMWARE, "ide"), "Scsi ");
  EXPECT_EQ(converter.GetNutanixControllerType(0, VS_RHEV, "virtio_scsi"),
            "Scsi ");
  EXPECT_EQ(converter.GetRhevControllerType(0), "Scsi ");

  // Read on every call: clearing it brings the rules back at once.
  PlatformConfig::SetSetting("VirtualServer", "sConvertControllerTypeTo", "");
  EXPECT_EQ(converter.GetRhevControllerType(0), "ide");
  PlatformConfig::SetSetting("OtherSection", "sConvertControllerTypeTo",
                             "sata");
  EXPECT_EQ(converter.GetOpenStackControllerType(five), "virtio");
}

// Kinds and formats no table row names get the defaults.
TEST(DiskRules, KindsAndFormatsOutsideTheTablesGetTheDefaults) {
  ZyVMConverter converter;
  for (int kind : {0, 103, -1, 1100, INT_MAX})
    EXPECT_EQ(ZyVMConverter::DetermineDestinationDiskType(
                  static_cast<VirtualServerInstanceType>(kind)),
              DT_NONE)
        << kind;
  for (int format : {0, 19, -5}) {
    auto type = static_cast<DiskType_t>(format);
    EXPECT_EQ(converter.GetDestinationDiskExtension(type), "") << format;
    EXPECT_EQ(ZyVMConverter::DetermineDestinationDiskProvisioningType(type), 2);
  }
}
