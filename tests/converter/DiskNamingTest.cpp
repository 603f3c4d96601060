//===- DiskNamingTest.cpp - Destination disk naming pass ------------------===//
#include "converter/ConverterFacts.h"
#include "converter/ZyVMConverter.h"

#include "formats/common/FormatText.h"
#include "platform/settings/PlatformConfig.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <filesystem>

using VMInfoStructs::SDisk;

namespace {

constexpr int64_t kGiB = int64_t{1} << 30;
struct NamingCase {
  int destination;
  int source;
};

// "<destination>-from-<source>.expected": the kinds, by number.
NamingCase CaseOf(const std::filesystem::path& expected) {
  std::string stem = expected.stem().string();
  size_t from = stem.find("-from-");
  return {std::stoi(stem.substr(0, from)), std::stoi(stem.substr(from + 6))};
}

}  // namespace

// tests/data/converter/naming/ holds a list of four disks at positions 0 to
// 3 with a configuration file between the first two, the disk at position 1
// marked as the OS disk; each <destination>-from-<source>.expected holds the
// list the pass gives for those kinds, .messages the lines it logs.
TEST(DiskNaming, EveryDestinationKindNamesItsDisks) {
  VMInfoStructs::SVMInfo standard;
  std::string error;
  ASSERT_TRUE(ParseZyf(TempDir::Read(golden::Data("converter/naming/"
                                                  "standard-list.zyf")
                                         .string()),
                       standard, error))
      << error;
  ASSERT_EQ(standard.vDisks.size(), 5u);
  PlatformConfig::ClearInProcess();
  auto cases = golden::Files(golden::Data("converter/naming"), ".expected");
  for (const auto& expected : cases) {
    SCOPED_TRACE(expected.filename().string());
    NamingCase kinds = CaseOf(expected);
    VMInfoStructs::SVMInfo named;
    named.vDisks = standard.vDisks;
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.UpdateDiskNames(
        named.vDisks, "G", "Web",
        static_cast<VirtualServerInstanceType>(kinds.destination),
        static_cast<VirtualServerInstanceType>(kinds.source), false);
    golden::Check(expected, WriteZyf(named));
    golden::Check(std::filesystem::path(expected).replace_extension(".messages"),
                  golden::Lines(capture.sink().Records()));
    // The configuration file between the disks is never touched.
    VMInfoStructs::SVMInfo config;
    config.vDisks = {named.vDisks[1]};
    VMInfoStructs::SVMInfo configBefore;
    configBefore.vDisks = {standard.vDisks[1]};
    EXPECT_EQ(WriteZyf(config), WriteZyf(configBefore));
  }
  EXPECT_GE(cases.size(), 20u) << "the golden folder is missing or misnamed";
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
      {__LINE__, 20 * kGiB, 0, 20 * kGiB},
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
    std::string newName;  // "": no match, name kept
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "scsi0-1-web_1.vmdk", "web_1_1"},
      {__LINE__, "sata1-7-a.b.c.vmdk", "a.b.c_7"},
      {__LINE__, "SCSI10-3-x.vmdk", "x_3"},
      {__LINE__, "ide0-0-web.vmdk.vmdk", "web.vmdk_0"},
      {__LINE__, "scsi0-1-web.vmdk.bak", ""},
      {__LINE__, "scsi0-1-web.VMDK", ""},
      {__LINE__, "scsi0-12-web.vmdk", ""},
      {__LINE__, "scsi0-1-.vmdk", ""},
      {__LINE__, "0-1-web.vmdk", ""},
      {__LINE__, "", ""},
      // The longest name handed to the regex engine still matches.
      {__LINE__, "scsi0-2-" + std::string(1024 - 13, 'w') + ".vmdk",
       std::string(1024 - 13, 'w') + "_2"},
      {__LINE__, "scsi0-2-" + std::string(1025 - 13, 'w') + ".vmdk", ""},
      {__LINE__, "scsi0-2-" + std::string(200000, 'w') + ".vmdk", ""},
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
    EXPECT_EQ(list[0].newDiskName, row.newName.empty() ? "disp" : row.newName);
    EXPECT_EQ(capture.sink().Contains(LogKind::Error,
                                      "Unable to parse disk with index name [" +
                                          row.indexName + "],"),
              row.newName.empty());
  }
}

// Lists as letters: c a configuration file, d a disk, C and D marked as the
// OS disk; os and boot: the marks afterwards, an entry a digit.
TEST(DiskNaming, SetOSDiskIfNotSetMarksBootDisksByDestination) {
  struct Row {
    int line;
    int source;
    int destination;
    bool platform;
    const char* list;
    const char* os;
    const char* boot;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 101, 901, false, "cdD", "001", "001"},
      {__LINE__, 101, 501, false, "cdD", "001", "001"},
      {__LINE__, 101, 501, false, "cdd", "010", "000"},  // RHEV: marked only
      {__LINE__, 101, 1101, true, "cdD", "001", "001"},
      {__LINE__, 101, 1101, true, "cdd", "010", "010"},
      {__LINE__, 101, 1101, false, "cdD", "001", "000"},
      {__LINE__, 101, 101, true, "cdD", "001", "000"},
      {__LINE__, 101, 901, false, "Cd", "10", "10"},  // a marked entry counts
      {__LINE__, 101, 901, true, "cc", "00", "00"},
      {__LINE__, 601, 901, false, "dd", "10", "10"},  // Nutanix, none named
  };
  // clang-format on
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<SDisk> list;
    std::string os, boot;
    for (const char* c = row.list; *c; ++c) {
      list.emplace_back();
      list.back().nFileType = tolower(*c) == 'd';
      list.back().isOSDisk = isupper(*c);
    }
    converter.SetOSDiskIfNotSet(
        list, static_cast<VirtualServerInstanceType>(row.source),
        static_cast<VirtualServerInstanceType>(row.destination), row.platform);
    for (const SDisk& entry : list) {
      os += entry.isOSDisk ? '1' : '0';
      boot += entry.isBootDisk ? '1' : '0';
    }
    EXPECT_EQ(os, row.os);
    EXPECT_EQ(boot, row.boot);
  }
}

TEST(DiskNaming, NutanixSourcePrefersIdeThenScsiThenSata) {
  struct Row {
    int line;
    std::vector<std::string> names;
    int osIndex;
    bool boot;  // only a disk taken when none qualifies boots
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, {"scsi-0", "ide-1", "sata-0"}, 1, false},
      {__LINE__, {"scsi-3", "sata-0", "scsi-1"}, 2, false},
      {__LINE__, {"ide-2", "ide-02"}, 0, false},  // equal numbers: earlier stays
      {__LINE__, {"ide-10", "ide-9"}, 1, false},
      {__LINE__, {"IDE-0", "scsi-5"}, 1, false},  // bus types compare exactly
      {__LINE__, {"ide-x", "scsi-5"}, 1, false},  // no number: passed over
      {__LINE__, {"ide-", "sata-99999999999999999999999"}, 1, false},
      {__LINE__, {"ide-99999999999999999999999", "ide-5"}, 1, false},
      {__LINE__, {"nvme-0", "disk1"}, 0, true},  // none qualifies: first disk
      {__LINE__, {"scsi-0-1", "scsi-0"}, 0, false},
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
    EXPECT_EQ(os.isBootDisk, row.boot);
    EXPECT_TRUE(capture.sink().Contains(
        LogKind::Debug,
        "Disk [" + os.strDisplayName + "] is set as default OS Disk"));
  }
}

TEST(DiskNaming, AnEmptyListIsOnlyAnnounced) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
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
      {__LINE__, nullptr, "plain"},  // looks up "diskdiskname"
  };
  // clang-format on
  TempDir dir;
  ScopedLogCapture capture;
  ZyVMConverter converter;
  std::string name = "unchanged";
  EXPECT_FALSE(converter.GetDisknameFromCatalog(dir.path(), ".scsi0:0.", name));
  EXPECT_EQ(name, "unchanged");
  EXPECT_TRUE(capture.sink().ContainsAtLevel(
      "Failed to load VM configuration catalog file", -1));
  dir.Write("catalog",
            "\xEF\xBB\xBF# catalog of the backup\r\n"
            "disk.scsi0:0.diskname = \"old.vmdk\"\r\n"
            "Disk.Scsi0:0.DiskName = \"web.vmdk\"\r\n"
            "disk.scsi0:1.diskname = \"web_1.vmdk\" # second disk\r\n"
            "disk.ide1:0.diskname = \"say |22hi|22 |7C.vmdk\"\r\n"
            "disk.sata0:3.diskname = bare\r\n"
            "diskdiskname = \"plain\"\n");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    name = "unchanged";
    EXPECT_TRUE(converter.GetDisknameFromCatalog(dir.path(), row.key, name));
    EXPECT_EQ(name, row.name);
  }
}

// A VM without a UUID is known by the version 5 UUID of its name; the
// expected values are Python's uuid.uuid5 in the converter's namespace.
TEST(DiskNaming, AVMWithoutAUuidIsKnownByTheUuidOfItsName) {
  struct Row {
    int line;
    std::string name;
    const char* uuid;
  };
  const Row rows[] = {
      {__LINE__, "web01", "77f21754-b32e-5cf3-906f-1541fba3545f"},
      {__LINE__, "", "10b4ed21-b746-590b-a50e-d83eaf29d384"},
      // Longer than one SHA-1 block, and bytes above 0x7f.
      {__LINE__, std::string(100, 'x'), "f5827ce6-9f52-5dd4-a8a4-9f071105eddc"},
      {__LINE__, "\xc3\x9c-vm", "fb86c1f7-bcc1-5c8b-907b-d7451f04b1d5"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(zy_converter::StableVMUuid(row.name), row.uuid);
  }
}
