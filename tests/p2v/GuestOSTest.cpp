//===- GuestOSTest.cpp - Guest OS identifiers and restore options ---------===//
#include "p2v/ZyP2VUtils.h"
#include "platform/support/EvDebug.h"
#include "platform/settings/PlatformConfig.h"
#include "tests/p2v/P2VRequests.h"

#include <gtest/gtest.h>

using namespace p2v_test;

namespace {

class GuestOS : public ::testing::Test {
 protected:
  void TearDown() override { PlatformConfig::ClearInProcess(); }
  static void AddClient(int id, int osId, const std::string& osInfo) {
    ZyClientRecord c;
    c.nId = id;
    c.strName = "client" + std::to_string(id);
    c.nOperatingSystemId = osId;
    c.strOSInfo = osInfo;
    PlatformConfig::AddClient(c);
  }
};

}  // namespace

// The ends of the identifier ranges; an id in no range (or no client) takes
// the default, only when nothing was set; other machines are Linux by their
// architecture (64-bit machines: the translation golden files).
TEST_F(GuestOS, WindowsIdentifierAtTheRangeEndsAndTheDefault) {
  struct Row {
    int line;
    int client;
    int osId;
    const char* description;
    bool windows, is64;
    const char* start;  // the identifier before
    const char* expected;
    const char* logged;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 5, 64, "", true, true, "", "winVista64Guest", ""},
      {__LINE__, 5, 209, "Windows 10 Pro", true, true, "", "windows7Guest", ""},
      {__LINE__, 5, 210, "Windows Server 2008 R2 Enterprise", true, true, "", "windows7Server64Guest", ""},
      {__LINE__, 5, 213, "Windows 10 Enterprise", true, true, "", "windows9_64Guest", ""},
      {__LINE__, 5, 211, "windows server 2012", true, true, "", "windows7Server64Guest", ""},  // case counts
      {__LINE__, 5, 300, "Windows Server 2012", true, true, "", "winNetStandardGuest",
       " OS Platform Type is empty, Defaulting to winNetStandardGuest"},
      {__LINE__, 5, 300, "Windows Server 2012", true, true, "keptGuest", "keptGuest", ""},
      {__LINE__, 99, 300, "Windows Server 2012", true, false, "", "winNetStandardGuest", ""},
      {__LINE__, 5, 3, "Windows 2000", false, false, "", "otherLinuxGuest",
       " OS Platform Type is empty, using the CPU architecture [x86]"},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    PlatformConfig::ClearInProcess();
    AddClient(5, row.osId, row.description);
    ScopedLogCapture capture;
    std::string guest = row.start;
    EXPECT_EQ(ZyP2VUtils::GetVMWareGuestOSIdentifier(row.client, guest,
                                                     row.windows, row.is64),
              0);
    EXPECT_EQ(guest, row.expected);
    if (*row.logged) {
      EXPECT_TRUE(capture.sink().Contains(row.logged));
    }
  }
}

// Reading the description from the client database, and its failure: the
// translation golden files (amazon-linux-volumes-from-file for client 0).

TEST(RestoreOptions, ContextTakesTheRequestAndTheDescription) {
  HW hw = MakeHw({}, {});
  hw.setint64(HW::hardwareFlag, 1);
  Ida::VMOpReq req = MakeRequest(hw, 0);
  req.setint64(Ida::VMOpReq::flagA, 1);
  req.setint64(Ida::VMOpReq::flagC, 1LL << 40);  // any non-zero value

  RestoreCtx ctx;
  ctx.vmInfo.strVMName = "vm";
  ctx.vmInfo.strGuestOS = "otherLinux64Guest";
  ctx.vmInfo.vDisks.resize(2);
  ctx.vmInfo.vNetworkCards.resize(1);
  ctx.vmInfo.strVMSize = "t3.large";
  ctx.vDisks.resize(5);
  ctx.bRequestFlagB = true;
  ZyP2VUtils::CopyRestoreCtxFromVmOpReq(ctx, req);
  EXPECT_TRUE(ctx.bHardwareFlag);
  EXPECT_EQ(ctx.strSourceVMName, "pm01");
  EXPECT_EQ(ctx.strSourceVMGUID, "guid-pm01");
  EXPECT_TRUE(ctx.bRequestFlagA);
  EXPECT_FALSE(ctx.bRequestFlagB);
  EXPECT_TRUE(ctx.bRequestFlagC);
  EXPECT_EQ(ctx.strVMName, "vm");
  EXPECT_EQ(ctx.osName, "otherLinux64Guest");
  EXPECT_EQ(ctx.vDisks.size(), 2u);
  EXPECT_EQ(ctx.vNetworkCards.size(), 1u);
  EXPECT_EQ(ctx.strVMSize, "t3.large");
}

TEST(RestoreOptions, RequestWithoutResponseKeepsTheSourceFields) {
  Ida::VMOpReq req;
  req.setint64(Ida::VMOpReq::flagB, 7);
  RestoreCtx ctx;
  ctx.strSourceVMName = "src";
  ctx.strSourceVMGUID = "guid";
  ctx.bHardwareFlag = true;
  ctx.bRequestFlagA = true;
  ctx.vmInfo.strRegion = "us-east-1";
  ZyP2VUtils::CopyRestoreCtxFromVmOpReq(ctx, req);
  EXPECT_EQ(ctx.strSourceVMName, "src");
  EXPECT_EQ(ctx.strSourceVMGUID, "guid");
  EXPECT_TRUE(ctx.bHardwareFlag);
  EXPECT_FALSE(ctx.bRequestFlagA);
  EXPECT_TRUE(ctx.bRequestFlagB);
  EXPECT_EQ(ctx.strRegion, "us-east-1");

  // A response whose client list is present but empty names nobody.
  Ida::VMOpReq empty = MakeRequest(MakeHw({}, {}), 0);
  Response(empty).SetList(RecoveryResponse::clients,
                          std::vector<ResponseFile::ClientInfo>());
  ZyP2VUtils::CopyRestoreCtxFromVmOpReq(ctx, empty);
  EXPECT_EQ(ctx.strSourceVMName, "src");
  EXPECT_FALSE(ctx.bHardwareFlag);
}
