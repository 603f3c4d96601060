//===- DiskNamingTest.cpp - Destination disk naming pass ------------------===//
#include "converter/ZyVMConverter.h"

#include "formats/common/FormatText.h"
#include "platform/settings/PlatformConfig.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <filesystem>
#include <sstream>

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

// tests/data/converter/naming/index-names.cases, and the longest name
// handed to the regex engine, which still matches.
TEST(DiskNaming, VMwareIndexNamesGiveFileNameAndSlot) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& c : golden::Table("converter/naming/index-names"))
    rows.push_back(c.fields);
  const std::string longest(1024 - 13, 'w');
  rows.push_back({"scsi0-2-" + longest + ".vmdk", longest + "_2"});
  rows.push_back({"scsi0-2-" + longest + "w.vmdk", ""});
  rows.push_back({"scsi0-2-" + std::string(200000, 'w') + ".vmdk", ""});
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.at(0).substr(0, 40));
    ASSERT_EQ(row.size(), 2u);
    std::vector<SDisk> list(1);
    list[0].strDisplayName = "disp.vmdk";
    list[0].diskIndexName = row[0];
    capture.sink().Clear();
    converter.UpdateDiskNames(list, "G", "Web", VS_KIND_1101, VS_VMWARE, false);
    EXPECT_EQ(list[0].newDiskName, row[1].empty() ? "disp" : row[1]);
    EXPECT_EQ(capture.sink().Contains(LogKind::Error,
                                      "Unable to parse disk with index name [" +
                                          row[0] + "],"),
              row[1].empty());
  }
}

// tests/data/converter/naming/os-disk.cases: lists of configuration files and
// disks, the OS and boot disks marked afterwards.
TEST(DiskNaming, SetOSDiskIfNotSetMarksBootDisksByDestination) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& c : golden::Table("converter/naming/os-disk")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 6u);
    std::vector<SDisk> list;
    std::string os, boot;
    for (char letter : c.fields[3]) {
      list.emplace_back();
      list.back().nFileType = tolower(letter) == 'd';
      list.back().isOSDisk = isupper(letter);
    }
    converter.SetOSDiskIfNotSet(
        list, static_cast<VirtualServerInstanceType>(std::stoi(c.fields[0])),
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[1])),
        c.fields[2] == "1");
    for (const SDisk& entry : list) {
      os += entry.isOSDisk ? '1' : '0';
      boot += entry.isBootDisk ? '1' : '0';
    }
    EXPECT_EQ(os, c.fields[4]);
    EXPECT_EQ(boot, c.fields[5]);
  }
}

// nutanix-os-disk.cases; a configuration file named like a disk is never
// chosen.
TEST(DiskNaming, NutanixSourcePrefersIdeThenScsiThenSata) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  for (const auto& c : golden::Table("converter/naming/nutanix-os-disk")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 3u);
    std::vector<SDisk> list(1);
    list[0].nFileType = 0;
    list[0].strDisplayName = "ide-0";
    std::istringstream names(c.fields[0]);
    for (std::string name; std::getline(names, name, ',');) {
      list.emplace_back();
      list.back().strDisplayName = name;
    }
    capture.sink().Clear();
    converter.SetOSDiskIfNotSet(list, VS_NUTANIX, VS_KIND_1101, true);
    size_t osIndex = std::stoul(c.fields[1]) + 1;
    for (size_t i = 0; i < list.size(); ++i)
      EXPECT_EQ(list[i].isOSDisk, i == osIndex) << i;
    EXPECT_EQ(list[osIndex].isBootDisk, c.fields[2] == "1");
    EXPECT_TRUE(capture.sink().Contains(
        LogKind::Debug,
        "Disk [" + list[osIndex].strDisplayName + "] is set as default OS Disk"));
  }
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
    EXPECT_EQ(ZyVMConverter::StableVMUuid(row.name), row.uuid);
  }
}
