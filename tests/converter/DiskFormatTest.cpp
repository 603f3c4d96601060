//===- DiskFormatTest.cpp - Destination disk format tables ----------------===//
#include "converter/ZyVMConverter.h"

#include <gtest/gtest.h>

namespace {

struct KindRow {
  int line;
  int kind;
  int format;
};

// clang-format off
constexpr KindRow kKinds[] = {
    {__LINE__, 100, 18},  {__LINE__, 101, 18},  {__LINE__, 102, 12},
    {__LINE__, 103, 0},   {__LINE__, 301, 24},  {__LINE__, 401, 23},
    {__LINE__, 402, 23},  {__LINE__, 403, 23},  {__LINE__, 501, 25},
    {__LINE__, 601, 28},  {__LINE__, 701, 29},  {__LINE__, 801, 30},
    {__LINE__, 901, 32},  {__LINE__, 1101, 33}, {__LINE__, 1102, 33},
    {__LINE__, 1301, 34}, {__LINE__, 1401, 35}, {__LINE__, 0, 0},
    {__LINE__, -1, 0},    {__LINE__, 404, 0},   {__LINE__, 1100, 0},
    {__LINE__, 2147483647, 0},
};
// clang-format on

struct FormatRow {
  int line;
  int format;
  const char* extension;
  int provisioning;
};

// clang-format off
constexpr FormatRow kFormats[] = {
    {__LINE__, 0, "", 2},       {__LINE__, 12, ".vhd", 1},
    {__LINE__, 13, ".vhd", 2},  {__LINE__, 14, ".vhd", 2},
    {__LINE__, 18, ".vmdk", 2}, {__LINE__, 20, ".vhdx", 1},
    {__LINE__, 21, ".vhdx", 2}, {__LINE__, 22, ".vhdx", 2},
    {__LINE__, 23, ".vhd", 2},  {__LINE__, 24, ".vhdx", 2},
    {__LINE__, 25, "", 2},      {__LINE__, 28, "", 2},
    {__LINE__, 29, "", 2},      {__LINE__, 30, "", 2},
    {__LINE__, 32, "", 2},      {__LINE__, 33, "", 2},
    {__LINE__, 34, "", 2},      {__LINE__, 35, "", 2},
    {__LINE__, 1, "", 2},       {__LINE__, 19, "", 2},
    {__LINE__, -5, "", 2},
};
// clang-format on

}  // namespace

TEST(DiskFormat, EachDestinationKindGetsItsFormat) {
  for (const auto& row : kKinds) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(ZyVMConverter::DetermineDestinationDiskType(
                  static_cast<VirtualServerInstanceType>(row.kind)),
              row.format);
  }
}

TEST(DiskFormat, EachFormatHasItsExtensionAndProvisioning) {
  ZyVMConverter converter;
  for (const auto& row : kFormats) {
    SCOPED_TRACE(row.line);
    auto type = static_cast<DiskType_t>(row.format);
    EXPECT_EQ(converter.GetDestinationDiskExtension(type), row.extension);
    EXPECT_EQ(ZyVMConverter::DetermineDestinationDiskProvisioningType(type),
              row.provisioning);
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
