//===- DiskNamingTest.cpp - Destination disk naming pass ------------------===//
#include "converter/ZyVMConverter.h"

#include "platform/settings/PlatformConfig.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>

using VMInfoStructs::SDisk;

namespace {

constexpr int64_t kGiB = int64_t{1} << 30;
SDisk Disk(const char* fileName, const char* display, int format) {
  SDisk disk;
  disk.fileName = fileName;
  disk.strDisplayName = display;
  disk.eDiskType = format;
  return disk;
}

// Four disks at positions 0 to 3 with a configuration file between the
// first two; the disk at position 1 (index 2) is the OS disk.
std::vector<SDisk> StandardList() {
  std::vector<SDisk> list;
  SDisk d0 = Disk("/bk/orig0.vhd", "Hard disk 1.vhd", 12);
  d0.diskIndexName = "scsi0-0-web.vmdk";
  d0.strControllerType = "scsi";
  d0.i64MaxSizeInBytes = 1;
  d0.strTargetName = "old-target";
  d0.strPlatformRef1 = "ref1";
  d0.strPlatformRef2 = "ref2";
  list.push_back(d0);

  SDisk config = Disk("web.vmx", "web.vmx", 0);
  config.nFileType = 0;
  list.push_back(config);

  SDisk d1 = Disk("/bk/orig1.vmdk", "data.vmdk", 18);
  d1.newDiskName = "given.vmdk";
  d1.diskIndexName = "ide1-0-data disk.vmdk";
  d1.strControllerType = "virtio_scsi";
  d1.eProvisioningType = 2;
  d1.i64MaxSizeInBytes = kGiB + 1;
  d1.isOSDisk = true;
  list.push_back(d1);

  SDisk d2 = Disk("x", "", 0);
  d2.diskIndexName = "odd.vmdk";
  d2.strControllerType = "ide";
  d2.i64MaxSizeInBytes = 25 * kGiB;
  list.push_back(d2);

  SDisk d3 = Disk("/bk/d3.vmdk", "scsi-0", 18);
  d3.i64MaxSizeInBytes = 20 * kGiB - 1;
  list.push_back(d3);
  return list;
}

std::vector<SDisk> Named(int destination, int source, bool platform = false) {
  ZyVMConverter converter;
  std::vector<SDisk> list = StandardList();
  converter.UpdateDiskNames(
      list, "G", "Web", static_cast<VirtualServerInstanceType>(destination),
      static_cast<VirtualServerInstanceType>(source), platform);
  return list;
}

struct TextRow {
  int line;
  int destination;
  int source;
  size_t index;
  std::string SDisk::*field;
  const char* expected;
};

// clang-format off
const TextRow kTexts[] = {
    // VMware: named after the VM, the OS disk's controller by source.
    {__LINE__, 101, 0, 0, &SDisk::fileName, "Web.vmdk"},
    {__LINE__, 101, 0, 0, &SDisk::strMatchName, "Web.vmdk"},
    {__LINE__, 101, 0, 0, &SDisk::strControllerType, "scsi"},
    {__LINE__, 101, 0, 2, &SDisk::fileName, "Web_1.vmdk"},
    {__LINE__, 101, 0, 2, &SDisk::strControllerType, "ide"},
    {__LINE__, 101, 301, 2, &SDisk::strControllerType, "scsi"},
    {__LINE__, 101, 601, 2, &SDisk::strControllerType, "scsi"},
    {__LINE__, 101, 1301, 2, &SDisk::strControllerType, "scsi"},

    {__LINE__, 101, 601, 3, &SDisk::strControllerType, "ide"},
    {__LINE__, 101, 0, 4, &SDisk::strMatchName, "Web_3.vmdk"},
    // Hyper-V: named after the VM.
    {__LINE__, 102, 101, 0, &SDisk::fileName, "Web.vhd"},
    {__LINE__, 102, 101, 0, &SDisk::strMatchName, ""},
    {__LINE__, 102, 101, 2, &SDisk::newDiskName, "Web_1.vhd"},
    // Amazon: display name from the identifier; the target keeps the
    // previous new name.
    {__LINE__, 301, 101, 0, &SDisk::strDisplayName, "G.vhdx"},
    {__LINE__, 301, 101, 0, &SDisk::fileName, "/bk/orig0.vhd"},
    {__LINE__, 301, 101, 2, &SDisk::strDisplayName, "G_1.vhdx"},
    {__LINE__, 301, 101, 2, &SDisk::strTargetName, "given.vmdk"},
    // Azure: names stay.
    {__LINE__, 402, 101, 0, &SDisk::strDisplayName, "Hard disk 1.vhd"},
    {__LINE__, 402, 101, 0, &SDisk::fileName, "/bk/orig0.vhd"},
    // RHEV: numbered from 1, first three on IDE.
    {__LINE__, 501, 101, 0, &SDisk::newDiskName, "Web_Disk1"},
    {__LINE__, 501, 101, 0, &SDisk::strControllerType, "ide"},
    {__LINE__, 501, 101, 3, &SDisk::strControllerType, "ide"},
    {__LINE__, 501, 101, 4, &SDisk::newDiskName, "Web_Disk4"},
    {__LINE__, 501, 101, 4, &SDisk::strControllerType, "virtio_scsi"},
    // Nutanix: display names lose their extension.
    {__LINE__, 601, 101, 0, &SDisk::strDisplayName, "Hard disk 1"},
    {__LINE__, 601, 101, 0, &SDisk::strControllerType, "sata"},
    {__LINE__, 601, 101, 2, &SDisk::strDisplayName, "data"},
    {__LINE__, 601, 101, 3, &SDisk::strDisplayName, ""},
    {__LINE__, 601, 501, 2, &SDisk::strControllerType, "scsi"},
    {__LINE__, 601, 501, 3, &SDisk::strControllerType, "sata"},
    {__LINE__, 701, 101, 0, &SDisk::strDisplayName, "Hard disk 1"},
    {__LINE__, 801, 101, 2, &SDisk::strDisplayName, "data"},
    {__LINE__, 801, 101, 2, &SDisk::newDiskName, "given.vmdk"},
    // OpenStack: new names from display names, without extension.
    {__LINE__, 901, 101, 0, &SDisk::newDiskName, "Hard disk 1"},
    {__LINE__, 901, 101, 2, &SDisk::newDiskName, "given"},
    {__LINE__, 901, 101, 3, &SDisk::newDiskName, ""},
    {__LINE__, 901, 101, 0, &SDisk::strControllerType, "ide"},
    // 1101: from the VMware index name when the source is VMware.
    {__LINE__, 1101, 101, 0, &SDisk::newDiskName, "web_0"},
    {__LINE__, 1101, 101, 2, &SDisk::newDiskName, "data disk_0"},
    {__LINE__, 1101, 101, 3, &SDisk::newDiskName, "Web_2"},
    {__LINE__, 1101, 101, 4, &SDisk::newDiskName, "scsi-0"},
    {__LINE__, 1101, 102, 0, &SDisk::newDiskName, "Hard disk 1"},
    {__LINE__, 1102, 101, 0, &SDisk::newDiskName, ""},
    {__LINE__, 1102, 101, 0, &SDisk::strDisplayName, "Hard disk 1.vhd"},
    // 1301: "<vm>-<position>" in lower case, given names kept.
    {__LINE__, 1301, 101, 0, &SDisk::newDiskName, "web-0"},
    {__LINE__, 1301, 101, 2, &SDisk::newDiskName, "given.vmdk"},
    {__LINE__, 1301, 101, 3, &SDisk::newDiskName, "web-2"},
    {__LINE__, 1301, 101, 0, &SDisk::strPlatformRef1, ""},
    {__LINE__, 1401, 101, 0, &SDisk::strPlatformRef1, "ref1"},
    // Kinds without a rule change nothing.
    {__LINE__, 100, 101, 0, &SDisk::fileName, "/bk/orig0.vhd"},
    {__LINE__, 0, 101, 0, &SDisk::strControllerType, "scsi"},
};
// clang-format on

struct NumberRow {
  int line;
  int destination;
  int source;
  size_t index;
  int32_t SDisk::*field;
  int32_t expected;
};

// clang-format off
const NumberRow kNumbers[] = {
    // Provisioning follows the format the disk had: 12 is provisioned as 1.
    {__LINE__, 101, 0, 0, &SDisk::eProvisioningType, 1},
    {__LINE__, 101, 0, 2, &SDisk::eProvisioningType, 2},
    {__LINE__, 102, 0, 0, &SDisk::eProvisioningType, 0},
    {__LINE__, 501, 0, 0, &SDisk::eProvisioningType, 2},
    // Kind 1102 shares the format of 1101; kind 100 has no naming rule and
    // leaves the format as it was.
    {__LINE__, 1102, 0, 4, &SDisk::eDiskType, 33},
    {__LINE__, 100, 0, 0, &SDisk::eDiskType, 12},
};
// clang-format on

struct SizeRow {
  int line;
  int destination;
  size_t index;
  int64_t maxSize;
  int64_t currentSize;
};

// clang-format off
const SizeRow kSizes[] = {
    {__LINE__, 301, 0, kGiB, 0},
    {__LINE__, 403, 4, 20 * kGiB, 0},
    {__LINE__, 901, 0, kGiB, 0},
    {__LINE__, 1301, 2, 2 * kGiB, 0},
    // Kinds that do not size disks.
    {__LINE__, 101, 0, 1, 0},
    {__LINE__, 501, 2, kGiB + 1, 0},
};
// clang-format on

}  // namespace

TEST(DiskNaming, EveryDestinationKindNamesItsDisks) {
  ScopedLogCapture capture;
  PlatformConfig::ClearInProcess();
  for (const auto& row : kTexts) {
    SCOPED_TRACE(row.line);
    auto list = Named(row.destination, row.source);
    EXPECT_EQ(list[row.index].*row.field, row.expected);
  }
}

TEST(DiskNaming, EveryDestinationKindSetsFormatAndProvisioning) {
  ScopedLogCapture capture;
  for (const auto& row : kNumbers) {
    SCOPED_TRACE(row.line);
    auto list = Named(row.destination, row.source);
    EXPECT_EQ(list[row.index].*row.field, row.expected);
  }
}

TEST(DiskNaming, SizesFollowTheDestinationKind) {
  ScopedLogCapture capture;
  for (const auto& row : kSizes) {
    SCOPED_TRACE(row.line);
    auto list = Named(row.destination, 101);
    EXPECT_EQ(list[row.index].i64MaxSizeInBytes, row.maxSize);
    EXPECT_EQ(list[row.index].i64CurrSizeInBytes, row.currentSize);
  }
}

TEST(DiskNaming, ConfigurationFileIsNeverTouched) {
  ScopedLogCapture capture;
  const int kinds[] = {0,   100, 101, 102, 301,  401,  402,  403, 501,
                       601, 701, 801, 901, 1101, 1102, 1301, 1401};
  for (int kind : kinds) {
    SCOPED_TRACE(kind);
    auto list = Named(kind, 101, true);
    const SDisk& config = list[1];
    EXPECT_EQ(config.fileName, "web.vmx");
    EXPECT_EQ(config.strDisplayName, "web.vmx");
    EXPECT_EQ(config.eDiskType, 0);
    EXPECT_EQ(config.strControllerType, "");
    EXPECT_FALSE(config.isOSDisk);
  }
}

TEST(DiskNaming, RhevMarksDisksForProvisioning) {
  ScopedLogCapture capture;
  auto list = Named(501, 101);
  EXPECT_TRUE(list[4].bProvisionFlag);
  EXPECT_FALSE(list[1].bProvisionFlag);
  // The OS disk the backup marked becomes the boot disk.
  EXPECT_TRUE(list[2].isBootDisk);
}

TEST(DiskNaming, LogsTheOSDiskBeforeRenamingIt) {
  ScopedLogCapture capture;
  Named(101, 0);
  std::vector<std::string> messages;
  for (const auto& r : capture.sink().Records()) {
    if (r.kind == LogKind::DebugLvl && r.level == 2) continue;  // extensions
    messages.push_back(r.message);
  }
  const std::vector<std::string> expected = {
      "Renaming disks based on VM name",
      "Disk name is changed to [Web.vmdk]",
      "Disk [data.vmdk] is set as OS Disk",
      "Disk name is changed to [Web_1.vmdk]",
      "Disk name is changed to [Web_2.vmdk]",
      "Disk name is changed to [Web_3.vmdk]",
  };
  EXPECT_EQ(messages, expected);
  EXPECT_TRUE(
      capture.sink().ContainsAtLevel("Renaming disks based on VM name", 0));
  EXPECT_TRUE(capture.sink().Contains(LogKind::Debug,
                                      "Disk [data.vmdk] is set as OS Disk"));
}

TEST(DiskNaming, DestinationLinesCarryTheirExactTexts) {
  struct Row {
    int line;
    int destination;
    LogKind kind;
    int level;
    const char* message;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 102, LogKind::DebugLvl, 0,
       "Disk name is changed to [Web_1.vhd]"},
      {__LINE__, 301, LogKind::DebugLvl, 0,
       "Disk name is changed to [G_1.vhdx]"},
      {__LINE__, 301, LogKind::Debug, 1,
       "Disk size is set to [2,147,483,648] bytes from [1,073,741,825] bytes"},
      {__LINE__, 501, LogKind::Debug, 1,
       "Disk display name [Hard disk 1.vhd], fileName [/bk/orig0.vhd], "
       "eDiskType [12], max size [1], isOSDisk [0]"},
      {__LINE__, 601, LogKind::DebugLvl, 2,
       "Disk extension is [] for converted disk type [28]"},
      {__LINE__, 901, LogKind::DebugLvl, 0,
       "Controller type set as [ide] to disk [Hard disk 1]"},
      {__LINE__, 1101, LogKind::Error, -1,
       "Unable to parse disk with index name [odd.vmdk],"},
      {__LINE__, 1101, LogKind::DebugLvl, 2,
       "sourceInstType=[101] diskIndexName=[scsi0-0-web.vmdk] "
       "newDiskName=[web_0] isOSDisk=[0]"},
      {__LINE__, 1301, LogKind::DebugLvl, 0,
       "Disk [Hard disk 1.vhd] will be restored as [Web\\web-0]"},
      {__LINE__, 1401, LogKind::Debug, 1,
       "Disk display name [Hard disk 1.vhd], fileName [/bk/orig0.vhd], "
       "eDiskType [12], i64MaxSizeInBytes [1], i64CurrSizeInBytes [0]  "
       "isOSDisk [0]"},
      {__LINE__, 1401, LogKind::Debug, 1,
       "Disk size is set to [21474836480] bytes from [21474836479] bytes"},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    Named(row.destination, 101);
    bool found = false;
    for (const auto& r : capture.sink().Records()) {
      if (r.message != row.message) continue;
      found = true;
      EXPECT_EQ(r.kind, row.kind);
      EXPECT_EQ(r.level, row.level);
    }
    EXPECT_TRUE(found) << row.message;
  }
}

TEST(DiskNaming, TheLargerSizeOf1401DiskWinsAndOddSizesAreSafe) {
  struct Row {
    int line;
    int64_t maxSize;
    int64_t currentSize;
    int64_t result;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 1, 0, 20 * kGiB},
      {__LINE__, 19 * kGiB + kGiB / 2, 0, 20 * kGiB},
      {__LINE__, 20 * kGiB, 0, 20 * kGiB},
      {__LINE__, 25 * kGiB, 0, 25 * kGiB},
      {__LINE__, 25 * kGiB + 1, 0, 26 * kGiB},
      {__LINE__, kGiB, 30 * kGiB + 5, 31 * kGiB},
      {__LINE__, -5, -7, 20 * kGiB},
      {__LINE__, INT64_MIN, 0, 20 * kGiB},
      {__LINE__, INT64_MAX - kGiB, 0, INT64_MAX - kGiB + 1},
      {__LINE__, INT64_MAX, 0, INT64_MAX},
      {__LINE__, 0, INT64_MAX - kGiB + 2, INT64_MAX - kGiB + 2},
  };
  // clang-format on
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<SDisk> list(1);
    list[0].i64MaxSizeInBytes = row.maxSize;
    list[0].i64CurrSizeInBytes = row.currentSize;
    converter.UpdateDiskNames(list, "G", "Web", VS_KIND_1401, VS_VMWARE, false);
    EXPECT_EQ(list[0].i64MaxSizeInBytes, row.result);
    EXPECT_EQ(list[0].i64CurrSizeInBytes, row.result);
    EXPECT_EQ(list[0].eDiskType, 35);
  }
}

TEST(DiskNaming, VMwareIndexNamesGiveFileNameAndSlot) {
  struct Row {
    int line;
    std::string indexName;
    const char* newName;  // null: no match, name kept
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "scsi0-1-web_1.vmdk", "web_1_1"},
      {__LINE__, "sata1-7-a.b.c.vmdk", "a.b.c_7"},
      {__LINE__, "SCSI10-3-x.vmdk", "x_3"},
      {__LINE__, "ide0-0-web.vmdk.vmdk", "web.vmdk_0"},
      {__LINE__, "scsi0-1-web.vmdk.bak", nullptr},
      {__LINE__, "scsi0-1-web.VMDK", nullptr},
      {__LINE__, "scsi0-12-web.vmdk", nullptr},
      {__LINE__, "scsi0-1-.vmdk", nullptr},

      {__LINE__, "0-1-web.vmdk", nullptr},
      {__LINE__, "", nullptr},
      // The longest name handed to the regex engine still matches.
      {__LINE__, "scsi0-2-" + std::string(1024 - 13, 'w') + ".vmdk", nullptr},
      {__LINE__, "scsi0-2-" + std::string(1025 - 13, 'w') + ".vmdk", nullptr},
      {__LINE__, "scsi0-2-" + std::string(200000, 'w') + ".vmdk", nullptr},
  };
  // clang-format on
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<SDisk> list(1);
    list[0].strDisplayName = "disp.vmdk";
    list[0].diskIndexName = row.indexName;
    capture.sink().Clear();
    converter.UpdateDiskNames(list, "G", "Web", VS_KIND_1101, VS_VMWARE, false);
    bool longMatch = row.indexName.size() == 1024;
    if (row.newName || longMatch) {
      std::string expected =
          row.newName ? row.newName : std::string(1024 - 13, 'w') + "_2";
      EXPECT_EQ(list[0].newDiskName, expected);
    } else {
      EXPECT_EQ(list[0].newDiskName, "disp");
      EXPECT_TRUE(capture.sink().Contains(
          LogKind::Error,
          "Unable to parse disk with index name [" + row.indexName + "],"));
    }
  }
}

TEST(DiskNaming, SetOSDiskIfNotSetMarksBootDisksByDestination) {
  struct Row {
    int line;
    int destination;
    bool platform;
    bool marked;  // the list already has an OS disk
    bool boot;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 901, false, true, true},
      {__LINE__, 501, false, true, true},
      {__LINE__, 501, false, false, false},
      {__LINE__, 1101, true, true, true},
      {__LINE__, 1101, true, false, true},
      {__LINE__, 1101, false, true, false},
      {__LINE__, 101, true, true, false},
  };
  // clang-format on
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<SDisk> list(3);
    list[0].nFileType = 0;
    list[1].strDisplayName = "first";
    if (row.marked) list[2].isOSDisk = true;
    VirtualServerInstanceType source = VS_VMWARE;
    auto destination = static_cast<VirtualServerInstanceType>(row.destination);
    converter.SetOSDiskIfNotSet(list, source, destination, row.platform);
    size_t os = row.marked ? 2 : 1;
    EXPECT_TRUE(list[os].isOSDisk);
    EXPECT_EQ(list[os].isBootDisk, row.boot);
    EXPECT_FALSE(list[0].isOSDisk);
    EXPECT_EQ(list[1].isOSDisk + list[2].isOSDisk, 1);
  }
}

TEST(DiskNaming, AMarkOnAConfigurationEntryCountsAsMarked) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  std::vector<SDisk> list(2);
  list[0].nFileType = 0;
  list[0].isOSDisk = true;
  converter.SetOSDiskIfNotSet(list, VS_VMWARE, VS_OPENSTACK, false);
  EXPECT_TRUE(list[0].isBootDisk);
  EXPECT_FALSE(list[1].isOSDisk);
}

TEST(DiskNaming, NutanixSourcePrefersIdeThenScsiThenSata) {
  struct Row {
    int line;
    std::vector<std::string> names;
    int osIndex;  // -1: none
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, {"scsi-0", "ide-1", "sata-0"}, 1},
      {__LINE__, {"scsi-3", "sata-0", "scsi-1"}, 2},
      {__LINE__, {"ide-2", "ide-02"}, 0},  // equal numbers: earlier stays
      {__LINE__, {"ide-10", "ide-9"}, 1},
      {__LINE__, {"IDE-0", "scsi-5"}, 1},  // bus types compare exactly
      {__LINE__, {"ide-x", "scsi-5"}, 1},  // no number: passed over
      {__LINE__, {"ide-", "sata-99999999999999999999999"}, 1},
      {__LINE__, {"ide-99999999999999999999999", "ide-5"}, 1},
      {__LINE__, {"nvme-0", "disk1"}, 0},  // none qualifies: first disk
      {__LINE__, {"scsi-0-1", "scsi-0"}, 0},
  };
  // clang-format on
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<SDisk> list;
    SDisk config;
    config.nFileType = 0;
    config.strDisplayName = "ide-0";  // not a disk: never chosen
    list.push_back(config);
    for (const auto& name : row.names) {
      list.emplace_back();
      list.back().strDisplayName = name;
    }
    capture.sink().Clear();
    converter.SetOSDiskIfNotSet(list, VS_NUTANIX, VS_KIND_1101, true);
    for (size_t i = 0; i < row.names.size(); ++i) {
      EXPECT_EQ(list[i + 1].isOSDisk, static_cast<int>(i) == row.osIndex) << i;
    }
    const SDisk& os = list[row.osIndex + 1];
    EXPECT_TRUE(capture.sink().Contains(
        LogKind::Debug,
        "Disk [" + os.strDisplayName + "] is set as default OS Disk"));
  }
}

TEST(DiskNaming, NutanixChoiceIsNotABootDiskButTheFallbackIs) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  std::vector<SDisk> chosen(2);
  chosen[0].strDisplayName = "scsi-1";
  chosen[1].strDisplayName = "scsi-0";
  converter.SetOSDiskIfNotSet(chosen, VS_NUTANIX, VS_OPENSTACK, false);
  EXPECT_TRUE(chosen[1].isOSDisk);
  EXPECT_FALSE(chosen[1].isBootDisk);

  capture.sink().Clear();
  std::vector<SDisk> fallback(2);
  converter.SetOSDiskIfNotSet(fallback, VS_NUTANIX, VS_OPENSTACK, false);
  EXPECT_TRUE(fallback[0].isOSDisk);
  EXPECT_TRUE(fallback[0].isBootDisk);
  // The Nutanix step reports that it found nothing, then the fallback.
  auto records = capture.sink().Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].message, "Disk [] is set as default OS Disk");
  EXPECT_EQ(records[1].message, "Disk [] is set as default OS Disk");
}

TEST(DiskNaming, AListWithoutDisksStaysUnmarked) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  std::vector<SDisk> list(2);
  for (auto& entry : list) entry.nFileType = 0;
  converter.SetOSDiskIfNotSet(list, VS_VMWARE, VS_OPENSTACK, true);
  EXPECT_FALSE(list[0].isOSDisk);
  EXPECT_FALSE(list[1].isOSDisk);
  std::vector<SDisk> empty;
  converter.UpdateDiskNames(empty, "G", "Web", VS_VMWARE, VS_VMWARE, false);
  EXPECT_TRUE(capture.sink().Records().size() == 1u);
}

TEST(DiskNaming, CatalogLookupReadsVMwareKeyValueText) {
  struct Row {
    int line;
    const char* key;
    const char* name;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, ".scsi0:1.", "web_1.vmdk"},
      {__LINE__, ".SCSI0:0.", "web.vmdk"},
      {__LINE__, ".ide1:0.", "say \"hi\" |.vmdk"},
      {__LINE__, ".nvme0:0.", ""},
  };
  // clang-format on
  TempDir dir;
  dir.Write("catalog",
            "\xEF\xBB\xBF# catalog of the backup\r\n"
            "disk.scsi0:0.diskname = \"old.vmdk\"\r\n"
            "Disk.Scsi0:0.DiskName = \"web.vmdk\"\r\n"
            "disk.scsi0:1.diskname = \"web_1.vmdk\" # second disk\r\n"
            "disk.ide1:0.diskname = \"say |22hi|22 |7C.vmdk\"\r\n"
            "disk.sata0:3.diskname = bare\r\n");
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::string name = "unchanged";
    EXPECT_TRUE(converter.GetDisknameFromCatalog(dir.path(), row.key, name));
    EXPECT_EQ(name, row.name);
  }
}

TEST(DiskNaming, MissingCatalogFailsAndKeepsTheName) {
  ScopedLogCapture capture;
  TempDir dir;
  ZyVMConverter converter;
  std::string name = "unchanged";
  EXPECT_FALSE(converter.GetDisknameFromCatalog(dir.path(), ".scsi0:0.", name));
  EXPECT_EQ(name, "unchanged");
  EXPECT_TRUE(capture.sink().ContainsAtLevel(
      "Failed to load VM configuration catalog file", -1));
  // A null key looks up "diskdiskname" instead of crashing.
  dir.Write("catalog", "diskdiskname = \"plain\"\n");
  EXPECT_TRUE(converter.GetDisknameFromCatalog(dir.path(), nullptr, name));
  EXPECT_EQ(name, "plain");
}
