//===- ConfigFileConversionTest.cpp - Configuration file conversion -------===//
#include <gtest/gtest.h>

#include <string>

#include "converter/ZyVMConverter.h"
#include "formats/zyf/VMConfigFile.h"
#include "support/Golden.h"
#include "support/TempDir.h"

TEST(VMDKParentName, DeltaDisksMapToTheirParentAndOtherNamesStay) {
  ZyVMConverter converter;
  std::string parent = "stale";
  converter.GetVMDKParentDiskName(nullptr, parent);
  EXPECT_EQ(parent, "");
  for (const auto& c : golden::Table("converter/rules/vmdk-parent")) {
    SCOPED_TRACE(c.text);
    parent = "stale";
    converter.GetVMDKParentDiskName(c.fields.at(0).c_str(), parent);
    EXPECT_EQ(parent, c.fields.at(1));
  }
}

// Which reader takes which file is the format drivers' table; the readers
// themselves: ReadersGoldenTest.
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
