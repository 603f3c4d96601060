//===- ConfigFileConversionTest.cpp - Configuration file conversion -------===//
#include <gtest/gtest.h>

#include <string>

#include "converter/ZyVMConverter.h"
#include "formats/zyf/VMConfigFile.h"
#include "support/TempDir.h"

namespace {

const char kConvertConfigFileFn[] =
    "bool ZyVMConverter::ConvertConfigFile(const string&, "
    "VMInfoStructs::SVMInfo&)";

}  // namespace

TEST(VMDKParentName, DeltaDisksMapToTheirParentAndOtherNamesStay) {
  struct Row {
    int line;
    const char* name;
    const char* parent;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "web-000001.vmdk", "web.vmdk"},
      {__LINE__, "web-000001.VMDK", "web.vmdk"},
      {__LINE__, "a-b-999999.vmdk", "a-b.vmdk"},
      {__LINE__, "/vmfs/web-000002.vmdk", "/vmfs/web.vmdk"},
      // Exactly twelve characters: nothing is left before the dash.
      {__LINE__, "-000001.vmdk", ".vmdk"},
      {__LINE__, "000001.vmdk", "000001.vmdk"},
      {__LINE__, "web-00001.vmdk", "web-00001.vmdk"},
      {__LINE__, "web-0000001.vmdk", "web-0000001.vmdk"},
      {__LINE__, "web-00a001.vmdk", "web-00a001.vmdk"},
      {__LINE__, "web-00000 .vmdk", "web-00000 .vmdk"},
      {__LINE__, "web-000001.vhdx", "web-000001.vhdx"},
      {__LINE__, "web-000001vmdk", "web-000001vmdk"},
      {__LINE__, "web_000001.vmdk", "web_000001.vmdk"},
      {__LINE__, "", ""},
      {__LINE__, nullptr, ""},
  };
  // clang-format on
  ZyVMConverter converter;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::string parent = "stale";
    converter.GetVMDKParentDiskName(row.name, parent);
    EXPECT_EQ(parent, row.parent);
  }
}

TEST(ConfigFileConversion, ChoosesTheReaderBySourceKindAndExtension) {
  struct Row {
    int line;
    VirtualServerInstanceType source;
    const char* file;
    bool result;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, VS_VMWARE, "vm/web.vmx", false},
      {__LINE__, VS_VMWARE, "vm/web.VMTX", false},
      {__LINE__, VS_VMWARE, "vm/web.vmdk", true},
      {__LINE__, VS_AMAZON, "vm/i-0abc.XML", false},
      {__LINE__, VS_ORACLE_VM, "vm/vm.cfg", false},
      {__LINE__, VS_ORACLE_VM, "vm/vm.xml", true},
      // Platforms without a reader of their own fail whatever the file.
      {__LINE__, VS_HYPERV, "vm/web.xml", false},
      {__LINE__, VS_NONE, "vm/web.vmx", false},
      // The generalised description is read for every source kind.
      {__LINE__, VS_VMWARE, "vm/VMConfig.zyf", false},
      {__LINE__, VS_AMAZON, "vm/vmconfig.ZYF", false},
  };
  // clang-format on
  TempDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eSourceInstType = row.source;
    VMInfoStructs::SVMInfo vmInfo;
    EXPECT_EQ(converter.ConvertConfigFile(dir.File(row.file), vmInfo),
              row.result);
    // Readers may log their own failures; this operation logs none.
    for (const auto& record : capture.sink().Records())
      EXPECT_NE(record.function, kConvertConfigFileFn) << record.message;
  }
}

TEST(ConfigFileConversion, OtherZyfFilesArePassedOverWithAMessage) {
  TempDir dir;
  const std::string file = dir.Write("vm/VMConfig.zyf.zyf", "not read");
  const VirtualServerInstanceType sources[] = {VS_VMWARE, VS_HYPERV, VS_NONE};
  for (auto source : sources) {
    SCOPED_TRACE(source);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eSourceInstType = source;
    VMInfoStructs::SVMInfo vmInfo;
    EXPECT_TRUE(converter.ConvertConfigFile(file, vmInfo));
    auto records = capture.sink().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message,
              "Skipping converting config file [" + file + "]");
    EXPECT_EQ(records[0].level, 0);
  }
}

// An Amazon instance description gives no region; a generalised one keeps its.
TEST(ConfigFileConversion, RegionsOfAmazonDescriptions) {
  TempDir dir;
  const std::string instance = dir.Write(
      "i-0web.XML",
      "<RunInstancesResponse><instancesSet><item>"
      "<instanceId>i-0web</instanceId><instanceType>t3.small</instanceType>"
      "<placement><availabilityZone>eu-central-1b</availabilityZone>"
      "</placement></item></instancesSet></RunInstancesResponse>");
  VMInfoStructs::SVMInfo saved;
  saved.strRegion = "eu-west-1";
  const std::string generalised = dir.File("VMConfig.zyf");
  ASSERT_TRUE(VMConfigFile(generalised).Save(saved));
  ZyVMConverter converter;
  converter.eSourceInstType = VS_AMAZON;
  VMInfoStructs::SVMInfo vmInfo;
  vmInfo.strRegion = "us-east-1";
  EXPECT_TRUE(converter.ConvertConfigFile(instance, vmInfo));
  EXPECT_EQ(vmInfo.strGUID, "i-0web");
  EXPECT_EQ(vmInfo.strRegion, "");
  EXPECT_TRUE(converter.ConvertConfigFile(generalised, vmInfo));
  EXPECT_EQ(vmInfo.strRegion, "eu-west-1");
}
