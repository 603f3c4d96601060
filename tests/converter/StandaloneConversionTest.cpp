//===- StandaloneConversionTest.cpp - ConvertVM against the recording fake ===//
#include "converter/ZyVMConverter.h"

#include "formats/zyf/VMConfigFile.h"
#include "support/RecordingVMInfo.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kConvertVM[] = "bool ZyVMConverter::ConvertVM()";

VMInfoStructs::SDisk MountedFile(const std::string& fileName, int fileType,
                                 const std::string& displayName) {
  VMInfoStructs::SDisk file;
  file.fileName = fileName;
  file.nFileType = fileType;
  file.strDisplayName = displayName;
  return file;
}

// A VMware machine converted for Nutanix, mounted with the given files.
void Configure(ZyVMConverter& converter, ScopedFakeVMInfoFactory& factory,
               const std::vector<VMInfoStructs::SDisk>& files) {
  VMInfoStructs::SMountInfoFull mount;
  mount.strVMName = "web01";
  mount.vFiles = files;
  factory.script->mountInfo = {mount};
  converter.SetSourceInstance(VS_VMWARE, "vcenter", "admin", "secret");
  converter.SetDestinationInstance(VS_NUTANIX, "prism", "admin", "secret");
  converter.SetSourceVM("web01", "guid-1", false);
  converter.SetDestinationVM("web01-new", "", "/dest", false);
  // What a previous conversion left: replaced only by a successful one.
  converter.restoreCtx.vmInfo.strVMName = "stale";
}

// The converter's lines at level 0 and 1 under ConvertVM's own name.
std::vector<std::string> Lines(const CapturingLogSink& sink, int level) {
  std::vector<std::string> lines;
  for (const auto& record : sink.Records())
    if (record.kind == LogKind::DebugLvl && record.function == kConvertVM &&
        record.level == level)
      lines.push_back(record.message);
  return lines;
}

// The machine's generalised description, as a backup leaves it.
std::string WriteDescription(const TempDir& dir) {
  VMInfoStructs::SVMInfo description;
  description.strVMName = "web01";
  description.strGUID = "guid-1";
  description.strGuestOS = "windows9-64";
  description.i64MemoryMB = 2048;
  description.i64NumCPUs = 2;
  std::string path = dir.File("VMConfig.zyf");
  EXPECT_TRUE(VMConfigFile(path).Save(description));
  return path;
}

bool ConvertQuietly(ZyVMConverter& converter) {
  testing::internal::CaptureStdout();
  bool result = converter.ConvertVM();
  testing::internal::GetCapturedStdout();
  return result;
}

}  // namespace

// Files of other kinds are only announced.
TEST(StandaloneConversion,
     MachineWithoutDisksIsSummarisedUnmountedAndFinalised) {
  ScopedFakeVMInfoFactory factory;
  ScopedLogCapture capture;
  ZyVMConverter converter;
  Configure(converter, factory,
            {MountedFile("/nowhere/web01.vmsd", 2, "web01.vmsd")});
  EXPECT_TRUE(ConvertQuietly(converter));
  EXPECT_EQ(Lines(capture.sink(), 0),
            (std::vector<std::string>{"Converting [web01.vmsd]",
                                      "Virtual Machine Conversion complete"}));
  EXPECT_EQ(Lines(capture.sink(), 1),
            (std::vector<std::string>{"Name: \t\tGuid: \n", "GuestOS: \n",
                                      "Memory: -1    CPUs: 0\n"}));
  EXPECT_EQ(converter.restoreCtx.vmInfo.strVMName, "");
  // Unmounted before the destination is built.
  auto names = factory.script->Names();
  EXPECT_EQ(factory.script->Count("MountVM"), 1);
  EXPECT_EQ(factory.script->Count("UnmountVM"), 1);
  EXPECT_EQ(factory.script->Count("CompleteDestinationVM"), 1);
  EXPECT_LT(std::find(names.begin(), names.end(), "UnmountVM"),
            std::find(names.begin(), names.end(), "PrepareDestinationVM"));
}

TEST(StandaloneConversion, ConfigurationFileBecomesTheRestoreDescription) {
  TempDir dir;
  std::string config = WriteDescription(dir);
  ScopedFakeVMInfoFactory factory;
  ScopedLogCapture capture;
  ZyVMConverter converter;
  Configure(converter, factory, {MountedFile(config, 0, "VMConfig.zyf")});
  EXPECT_TRUE(ConvertQuietly(converter));
  EXPECT_EQ(converter.restoreCtx.vmInfo.strVMName, "web01");
  EXPECT_EQ(converter.restoreCtx.vmInfo.i64MemoryMB, 2048);
  EXPECT_EQ(Lines(capture.sink(), 1),
            (std::vector<std::string>{"Name: web01\t\tGuid: guid-1\n",
                                      "GuestOS: windows9-64\n",
                                      "Memory: 2048    CPUs: 2\n"}));
  // The destination was given the converted description.
  EXPECT_EQ(factory.script->lastRestoreCtx.vmInfo.strVMName, "web01");
}

TEST(StandaloneConversion,
     DiskImageFailsTheConversionAndLeavesTheSourceMounted) {
  TempDir dir;
  std::string config = WriteDescription(dir);
  std::string disk = dir.Write("web01.vmdk", std::string(8192, 'd'));
  std::string after = dir.Write("web01-2.vmdk", std::string(8192, 'e'));
  ScopedFakeVMInfoFactory factory;
  ScopedLogCapture capture;
  {
    ZyVMConverter converter;
    Configure(converter, factory,
              {MountedFile(config, 0, "VMConfig.zyf"),
               MountedFile(disk, 1, "web01.vmdk"),
               MountedFile(after, 1, "web01-2.vmdk")});
    EXPECT_FALSE(ConvertQuietly(converter));
    auto lines = Lines(capture.sink(), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"Converting [VMConfig.zyf]",
                                               "Converting [web01.vmdk]"}));
    // Nutanix images have no extension.
    std::string target = "/dest\\" + disk.substr(0, disk.size() - 5);
    EXPECT_TRUE(
        capture.sink().Contains("Creating destination disk [" + target + "]"));
    EXPECT_EQ(converter.restoreCtx.vmInfo.strVMName, "stale");
    EXPECT_EQ(factory.script->Count("UnmountVM"), 0);
    EXPECT_EQ(factory.script->Count("PrepareDestinationVM"), 0);
  }
  // The destructor ends the mount.
  EXPECT_EQ(factory.script->Count("UnmountVM"), 1);
}
