//===- ConverterSetupTest.cpp - Setters, access objects and mounting ------===//
#include "converter/ZyVMConverter.h"

#include "model/PlatformKinds.h"
#include "platform/support/FXPath.h"
#include "support/Golden.h"
#include "support/RecordingVMInfo.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

using Calls = std::vector<std::string>;

const Calls kOpen = {"Initialize", "Connect"};
const Calls kClose = {"Disconnect", "Uninitialize"};

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

void ConfigureSource(ZyVMConverter& converter, const std::string& guid,
                     bool runOperation = false) {
  converter.SetSourceInstance(VS_VMWARE, "vcenter", "admin", "secret");
  converter.SetSourceVM("web", guid, runOperation);
}

}  // namespace

static_assert(!std::is_copy_constructible<ZyVMConverter>::value,
              "the converter owns access objects");
static_assert(!std::is_copy_assignable<ZyVMConverter>::value,
              "the converter owns access objects");

// tests/data/converter/rules/destination-folders.cases: where the VM and its
// disks go.
TEST(ConverterSetup, DestinationFolders) {
  for (const auto& c : golden::Table("converter/rules/destination-folders")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 5u);
    TempDir dir;
    dir.Write("plain-file", "x");
    VirtualServerInstanceType kind = VS_NONE;
    ASSERT_TRUE(ParsePlatformKind(c.fields[0], kind));
    ZyVMConverter converter;
    converter.SetDestinationInstance(kind, "", "", "");
    converter.SetSourceVM("Web", "", false);
    std::string path = CQiPath::Append(dir.path(), c.fields[2]);
    converter.SetDestinationVM(c.fields[1], "", path, false);
    const std::string vmPath = CQiPath::Append(dir.path(), c.fields[3]);
    EXPECT_EQ(converter.strDestVMName, c.fields[1].empty() ? "Web" : c.fields[1]);
    EXPECT_EQ(converter.strDestVMPath, kind == VS_HYPERV ? vmPath : path);
    EXPECT_EQ(converter.strDestDiskPath,
              c.fields[4].empty() ? path : CQiPath::Append(vmPath, c.fields[4]));
    if (kind == VS_HYPERV) {
      EXPECT_EQ(FXPath::DoesPathExist(converter.strDestDiskPath),
                c.fields[2] != "plain-file");
    }
    EXPECT_EQ(TempDir::Read(dir.File("plain-file")), "x");
  }
}

TEST(ConverterSetup, MountSourceVMOpensLooksUpAndMounts) {
  ScopedLogCapture capture;
  ScopedFakeVMInfoFactory factory;
  factory.script->vmInfo.strGUID = "guid-42";
  factory.script->mountInfo.resize(1);
  factory.script->mountInfo[0].vFiles.resize(2);
  {
    ZyVMConverter converter;
    ConfigureSource(converter, "");
    converter.SetDestinationInstance(VS_OPENSTACK, "", "", "");
    ASSERT_TRUE(converter.MountSourceVM());
    EXPECT_EQ(converter.strSourceVMGuid, "guid-42");
    EXPECT_EQ(converter.strMountPath, "/tmp/ZyVMConvert/guid-42");
    EXPECT_EQ(converter.mountCtx.strStagingPath, "/tmp/ZyVMConvert/guid-42");
    EXPECT_EQ(converter.mountCtx.strVMGuid, "guid-42");
    ASSERT_EQ(converter.vMountInfo.size(), 1u);
    EXPECT_EQ(converter.vMountInfo[0].vFiles.size(), 2u);
  }
  // The destructor unmounts and releases the source object.
  EXPECT_EQ(factory.script->Names(),
            Join({kOpen,
                  {"GetVMInfo", "MountVM", "GetFullMountInfo"},
                  {"UnmountVM"},
                  kClose}));
  EXPECT_EQ(factory.script->calls[0].args, Calls{"0"});
  EXPECT_EQ(factory.script->calls[1].args,
            (Calls{"vcenter", "admin", "secret"}));
  EXPECT_EQ(factory.script->calls[2].args, (Calls{"web", "", "", "0", "0"}));
  EXPECT_EQ(factory.script->calls.back().args, Calls{"1"});
  EXPECT_EQ(factory.script->deleted, 1);

  EXPECT_EQ(golden::Lines(capture.sink().Records()),
            "DebugLvl [0] Connecting to vcenter\nDebugLvl [0] Mounting.....\n"
            "DebugLvl [0] Mount done.\nDebugLvl [0] Unmounting\n"
            "DebugLvl [0] Unmount done\n");
}

TEST(ConverterSetup, KnownGuidSkipsTheLookupAndHyperVMountsBesideTheVm) {
  ScopedLogCapture capture;
  ScopedFakeVMInfoFactory factory;
  TempDir dir;
  ZyVMConverter converter;
  ConfigureSource(converter, "g-1", true);
  converter.SetDestinationInstance(VS_HYPERV, "", "", "");
  converter.SetDestinationVM("web", "", dir.path(), false);
  ASSERT_TRUE(converter.MountSourceVM());
  EXPECT_EQ(factory.script->Names(),
            Join({kOpen, {"RunVMOperation", "MountVM", "GetFullMountInfo"}}));
  EXPECT_EQ(factory.script->lastOperation.eOperation, 3);
  EXPECT_EQ(factory.script->lastOperation.vmInfo.strGUID, "g-1");
  const std::string mountPath = dir.File("web/SourceVM");
  EXPECT_EQ(factory.script->lastMountCtx.strMountPath, mountPath);
  EXPECT_EQ(factory.script->lastMountCtx.strStagingPath, mountPath);
}

TEST(ConverterSetup, FailuresOfMountSourceVM) {
  struct Row {
    int line;
    bool create;
    const char* failing;  // operation answering 0
    Calls calls;          // up to the return of MountSourceVM
    LogKind kind;
    const char* message;  // null: no message of its own
    bool open;            // source object still held
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, false, "", {}, LogKind::Error,
       "Failed to create VMInfo object", false},
      {__LINE__, true, "Initialize", {"Initialize"}, LogKind::Error,
       "Failed to init VMInfo object", false},
      {__LINE__, true, "Connect", Join({kOpen, kClose}), LogKind::Error,
       "Failed to connect to server=[vcenter] user=[admin]", false},
      {__LINE__, true, "GetVMInfo", Join({kOpen, {"GetVMInfo"}}),
       LogKind::Error, nullptr, true},
      {__LINE__, true, "MountVM", Join({kOpen, {"GetVMInfo", "MountVM"}}),
       LogKind::DebugLvl, "MountVM failed!!", true},
      {__LINE__, true, "GetFullMountInfo",
       Join({kOpen, {"GetVMInfo", "MountVM", "GetFullMountInfo"}}),
       LogKind::DebugLvl, "GetFullMountInfo failed!!", true},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    ScopedFakeVMInfoFactory factory;
    factory.create = row.create;
    factory.script->results[row.failing] = 0;
    ZyVMConverter converter;
    ConfigureSource(converter, "");
    EXPECT_FALSE(converter.MountSourceVM());
    EXPECT_EQ(factory.script->Names(), row.calls);
    EXPECT_EQ(converter.pSourceVMInfo != nullptr, row.open);
    EXPECT_EQ(factory.script->created - factory.script->deleted,
              row.open ? 1 : 0);
    if (row.message) {
      EXPECT_TRUE(capture.sink().Contains(row.kind, row.message));
      EXPECT_TRUE(capture.sink().ContainsAtLevel(row.message, -1));
    }
    // Unmounting twice releases the open object once.
    size_t before = factory.script->calls.size();
    converter.UnmountSourceVM();
    converter.UnmountSourceVM();
    Calls names = factory.script->Names();
    Calls after(names.begin() + static_cast<long>(before), names.end());
    EXPECT_EQ(after, row.open ? Join({{"UnmountVM"}, kClose}) : Calls{});
    EXPECT_EQ(converter.pSourceVMInfo, nullptr);
    EXPECT_EQ(factory.script->created, factory.script->deleted);
  }
}

TEST(ConverterSetup, MountingAgainReleasesTheEarlierSourceObject) {
  ScopedLogCapture capture;
  ScopedFakeVMInfoFactory factory;
  {
    ZyVMConverter converter;
    ConfigureSource(converter, "g");
    ASSERT_TRUE(converter.MountSourceVM());
    ASSERT_TRUE(converter.MountSourceVM());
    EXPECT_EQ(factory.script->created, 2);
    EXPECT_EQ(factory.script->deleted, 1);
    EXPECT_EQ(factory.script->Count("UnmountVM"), 1);
  }
  EXPECT_EQ(factory.script->deleted, 2);
  EXPECT_EQ(factory.script->Count("UnmountVM"), 2);
}
