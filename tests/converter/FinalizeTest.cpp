//===- FinalizeTest.cpp - Destination finalisation ------------------------===//
#include "converter/ZyVMConverter.h"
#include "support/Golden.h"
#include "support/RecordingVMInfo.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A converter finalising onto a recording destination that the test owns.
struct FinalizeFixture {
  explicit FinalizeFixture(int kind) {
    converter.eDestInstType = static_cast<VirtualServerInstanceType>(kind);
    converter.pDestVMInfo = &destination;
    VMInfoStructs::SVMSizeInfo size;
    size.strInstanceType = "m4.large";
    size.nNumCPUs = 2;
    size.nMemoryMB = 8192;
    script->instanceTypes.push_back(size);
  }
  ~FinalizeFixture() { converter.pDestVMInfo = nullptr; }

  std::shared_ptr<VMInfoScript> script = std::make_shared<VMInfoScript>();
  RecordingVMInfo destination{script};
  ScopedLogCapture capture;
  ZyVMConverter converter;
};

}  // namespace

// tests/data/converter/finalize/sequence.cases holds a case a line,
// sequence.expected each case's result, calls and log lines.
TEST(Finalize, EachKindCallsTheDestinationInItsOrder) {
  golden::CheckCases("converter/finalize/sequence", 4, [](const golden::Case& c) {
    FinalizeFixture f(std::stoi(c.fields[0]));
    f.converter.restoreCtx.bPlatformConversion = c.fields[1] == "1";
    f.converter.restoreCtx.osName = c.fields[3];
    std::istringstream results(c.fields[2]);
    for (std::string item; std::getline(results, item, ',');) {
      size_t equals = item.find('=');
      f.script->results[item.substr(0, equals)] =
          std::stoi(item.substr(equals + 1));
    }
    bool ok = f.converter.FinalizeDestinationVM();
    return (ok ? "ok\n" : "failed\n") + f.script->Calls() +
           golden::Lines(f.capture.sink().Records());
  });
}

TEST(Finalize, WithoutADestinationNothingIsCalled) {
  for (int kind : {101, 102, 301, 401}) {
    SCOPED_TRACE(kind);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eDestInstType = static_cast<VirtualServerInstanceType>(kind);
    converter.restoreCtx.vmInfo.vDisks.resize(1);
    converter.restoreCtx.vmInfo.vDisks[0].strControllerType = "scsi";
    EXPECT_FALSE(converter.FinalizeDestinationVM());
    EXPECT_TRUE(
        capture.sink().Contains(LogKind::Error, "Invalid VMInfo object"));
    EXPECT_EQ(converter.restoreCtx.vmInfo.vDisks[0].strControllerType, "scsi");
  }
  ScopedLogCapture capture;
  ZyVMConverter unknown;
  unknown.eDestInstType = VS_KIND_100;
  EXPECT_FALSE(unknown.FinalizeDestinationVM());
  EXPECT_TRUE(capture.sink().Records().empty());
}

TEST(Finalize, HyperVGetsItsBootDiskDiskListAndPathBeforeBuilding) {
  FinalizeFixture f(102);
  f.converter.strDestVMPath = "/vms/web01";
  auto& vm = f.converter.restoreCtx.vmInfo;
  vm.strBootFirmware = "BIOS";
  vm.strVMPath = "/old";
  vm.vDisks.resize(2);
  vm.vDisks[0].strControllerType = "scsi";
  vm.vDisks[1].strControllerType = "scsi";
  vm.vDisks[1].nSlot = 1;
  f.converter.restoreCtx.vDisks.resize(5);

  ASSERT_TRUE(f.converter.FinalizeDestinationVM());
  const RestoreCtx& given = f.script->lastRestoreCtx;
  ASSERT_EQ(given.vDisks.size(), 2u);
  EXPECT_EQ(given.vDisks[0].strControllerType, "ide");
  EXPECT_EQ(given.vDisks[1].strControllerType, "scsi");
  EXPECT_EQ(given.vmInfo.strVMPath, "/vms/web01");
  EXPECT_EQ(given.vmInfo.vDisks[0].strControllerType, "ide");
}

TEST(Finalize, CloudKindsChooseSizeAndRegionBeforeBuilding) {
  FinalizeFixture amazon(301);
  auto& ctx = amazon.converter.restoreCtx;
  ctx.osName = "Linux_x64";
  ctx.strRegion = "eu-west-1";
  ctx.vmInfo.strRegion = "eu-west-1";
  ctx.vmInfo.i64NumCPUs = 2;
  ctx.vmInfo.i64MemoryMB = 4096;
  ASSERT_TRUE(amazon.converter.FinalizeDestinationVM());
  EXPECT_EQ(amazon.script->lastRestoreCtx.strVMSize, "m4.large");
  EXPECT_EQ(amazon.script->lastRestoreCtx.vmInfo.strRegion, "eu-west-1");
  EXPECT_TRUE(
      amazon.capture.sink().Contains(LogKind::Debug, "Guest OS : [Linux_x64]"));

  FinalizeFixture platform(401);
  platform.converter.restoreCtx.bPlatformConversion = true;
  platform.converter.restoreCtx.vmInfo.strRegion = "westeurope";
  ASSERT_TRUE(platform.converter.FinalizeDestinationVM());
  EXPECT_EQ(platform.converter.restoreCtx.vmInfo.strRegion, "westeurope");
  EXPECT_FALSE(platform.capture.sink().Contains("Guest OS : []"));
}

TEST(InitializeDestination, CreatedObjectIsConnectedOwnedAndReleased) {
  ScopedFakeVMInfoFactory factory;
  ScopedLogCapture capture;
  {
    ZyVMConverter converter;
    converter.eDestInstType = VS_HYPERV;
    converter.strDestHost = "hv01";
    converter.strDestUser = "admin";
    converter.strDestPassword = "secret";
    ASSERT_TRUE(converter.InitializeDestinationVM());
    ASSERT_NE(converter.pDestVMInfo, nullptr);
    EXPECT_TRUE(converter.bOwnsDestVMInfo);
    EXPECT_EQ(factory.script->Count("Connect"), 1);
    for (const auto& call : factory.script->calls) {
      if (call.op == "Connect") {
        EXPECT_EQ(call.args,
                  (std::vector<std::string>{"hv01", "admin", "secret"}));
      }
    }

    // Opening again releases the first object.
    ASSERT_TRUE(converter.InitializeDestinationVM());
    EXPECT_EQ(factory.script->created, 2);
    EXPECT_EQ(factory.script->deleted, 1);
  }
  EXPECT_EQ(factory.script->deleted, 2);
}

TEST(InitializeDestination, FailureLeavesNoDestinationAndALentOneUnreleased) {
  ScopedFakeVMInfoFactory factory;
  factory.create = false;
  auto script = std::make_shared<VMInfoScript>();
  RecordingVMInfo lent(script);
  {
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eDestInstType = VS_HYPERV;
    converter.pDestVMInfo = &lent;
    EXPECT_FALSE(converter.InitializeDestinationVM());
    EXPECT_EQ(converter.pDestVMInfo, nullptr);
    EXPECT_FALSE(converter.bOwnsDestVMInfo);
  }
  EXPECT_EQ(script->deleted, 0);
  EXPECT_TRUE(script->calls.empty());
}
