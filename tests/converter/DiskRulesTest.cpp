//===- DiskRulesTest.cpp - Destination disk extension, size, controller ---===//
#include "converter/ZyVMConverter.h"

#include "platform/settings/PlatformConfig.h"

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
  struct Row {
    int line;
    int format;
    const char* fileName;
    const char* indexName;
    const char* newFileName;
    const char* newIndexName;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 18, "web.vhd", "scsi0-0-web.vhd", "web.vmdk",
       "scsi0-0-web.vmdk"},
      {__LINE__, 28, "web.vmdk", "", "web", ""},
      {__LINE__, 24, "a.b.c.vmdk", "a.b", "a.b.c.vhdx", "a.vhdx"},
      {__LINE__, 12, "noext", "noext", "noext", "noext"},
      {__LINE__, 33, "web.", "x.", "web", "x"},
      {__LINE__, 23, ".vmdk", "", ".vhd", ""},
      {__LINE__, 18, "/mnt/vm.dir/disk", "", "/mnt/vm.dir/disk", ""},
      {__LINE__, 18, "/mnt/vm.dir/disk.vhd", "", "/mnt/vm.dir/disk.vmdk", ""},
      {__LINE__, 18, "C:\\vm.d\\disk", "", "C:\\vm.d\\disk", ""},
  };
  // clang-format on
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    SDisk disk;
    disk.eDiskType = row.format;
    disk.fileName = row.fileName;
    disk.diskIndexName = row.indexName;
    converter.CorrectDiskExtension(disk);
    EXPECT_EQ(disk.fileName, row.newFileName);
    EXPECT_EQ(disk.diskIndexName, row.newIndexName);
    EXPECT_EQ(disk.eDiskType, row.format);
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
  struct Row {
    int line;
    int position;
    int source;
    const char* current;
    const char* controller;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 0, 101, "ide", "sata"},
      {__LINE__, 5, 101, "scsi", "sata"},
      {__LINE__, 6, 101, "ide", "scsi"},
      {__LINE__, 40, 0, "", "scsi"},
      {__LINE__, -1, 101, "", "sata"},
      {__LINE__, 0, 501, "virtio_scsi", "scsi"},
      {__LINE__, 9, 501, "virtio", "sata"},
      {__LINE__, 9, 501, "VIRTIO_SCSI", "sata"},
      {__LINE__, 0, 501, "", "sata"},
  };
  // clang-format on
  ScopedSettings settings;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(
        converter.GetNutanixControllerType(
            row.position, static_cast<VirtualServerInstanceType>(row.source),
            row.current),
        row.controller);
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
