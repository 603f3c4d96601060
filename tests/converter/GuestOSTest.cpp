//===- GuestOSTest.cpp - Guest OS determination ---------------------------===//
//
// tests/data/converter/guest-os/ holds the cases as tables: compute.cases
// for ComputeOS per source and destination kind, client.cases for the split
// of a backup client's OS properties.  Each .expected file repeats every
// case with the result, the settled values and the lines logged.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"
#include "platform/settings/PlatformConfig.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kClientId = 7;

// Registers the VM's backup client for the length of a case; "<none>"
// registers none.
class ClientScope {
 public:
  ClientScope(const std::string& osText, const std::string& osId) {
    PlatformConfig::ClearInProcess();
    if (osText == "<none>") return;
    ZyClientRecord client;
    client.nId = kClientId;
    client.strName = "vm01";
    client.nOperatingSystemId = std::stoi(osId);
    client.strOSInfo = osText;
    PlatformConfig::AddClient(client);
  }
  ~ClientScope() { PlatformConfig::ClearInProcess(); }
};

std::string Values(const VMInfoStructs::SGuestOSInfo& info) {
  return "GuestOSName [" + info.GuestOSName + "] OSVersion [" +
         info.OSVersion + "] OSType [" + info.OSType + "] CPUArch [" +
         info.CPUArch + "]\n";
}

}  // namespace

TEST(GuestOS, ComputeOSSettlesTheValueEachDestinationExpects) {
  golden::CheckCases("converter/guest-os/compute", 6, [](const golden::Case& c) {
    ClientScope client(c.fields[3], c.fields[4]);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    RestoreCtx request;
    request.osName = c.fields[2];
    request.vmInfo.nClientId = c.fields[3] == "<none>" ? 0 : kClientId;
    request.vmInfo.guestOSInfo.CPUArch = c.fields[5];
    CQiError result = converter.ComputeOS(
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[0])),
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[1])),
        nullptr, request);
    return golden::Outcome(result) + " osName [" + request.osName + "] " +
           Values(request.vmInfo.guestOSInfo) +
           golden::Lines(capture.sink().Records());
  });
}

TEST(GuestOS, ClientPropertiesAreSplitAndClassified) {
  golden::CheckCases("converter/guest-os/client", 2, [](const golden::Case& c) {
    ClientScope client(c.fields[0], c.fields[1]);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    VMInfoStructs::SGuestOSInfo info;
    bool ok = converter.GetVMGuestOSClientProp(kClientId, info);
    return (ok ? "ok " : "refused ") + Values(info) +
           golden::Lines(capture.sink().Records());
  });
}

TEST(GuestOS, ClientIdentifiersBelowOneAreRefusedSilently) {
  ClientScope client("Windows:-1:-2:-x64", "0");
  ScopedLogCapture capture;
  ZyVMConverter converter;
  VMInfoStructs::SGuestOSInfo info;
  EXPECT_FALSE(converter.GetVMGuestOSClientProp(0, info));
  EXPECT_FALSE(converter.GetVMGuestOSClientProp(-5, info));
  EXPECT_TRUE(capture.sink().Records().empty());
  EXPECT_EQ(info.GuestOSName, "");
}
