//===- GuestOSTest.cpp - Guest OS determination ---------------------------===//
#include "converter/ZyVMConverter.h"
#include "platform/settings/PlatformConfig.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kDbFailure[] =
    "Failed to get OS information from DB.Failed to convert VM . job should "
    "be resubmitted after selecting guest OS type in restore screen";
const char kParseFailure[] =
    "Failed to parse OS information.Failed to convert VM.";
const char kArchFailure[] =
    "Failed to parse OS (CPU Arch) information.Failed to convert VM.";
const char kNoName[] =
    "Guest OS name is not available. Failed to convert VM . job should be "
    "resubmitted after selecting correct guest OS type in restore screen";
const char kNoArch[] =
    "Guest CPU Architecture is not available. Failed to convert VM . job "
    "should be resubmitted after selecting correct guest OS type in restore "
    "screen";

constexpr int kClientId = 7;

// Registers the VM's backup client for the length of a test.
class ClientScope {
 public:
  ClientScope(const char* osText, int osId) {
    PlatformConfig::ClearInProcess();
    if (!osText) return;
    ZyClientRecord client;
    client.nId = kClientId;
    client.strName = "vm01";
    client.nOperatingSystemId = osId;
    client.strOSInfo = osText;
    PlatformConfig::AddClient(client);
  }
  ~ClientScope() { PlatformConfig::ClearInProcess(); }
};

struct ComputeRow {
  int line;
  int source;
  int destination;
  const char* osName;     // as the request gives it
  const char* osText;     // client property text; null: no client
  int osId;               // client's operating-system identifier
  const char* cpuArchIn;  // CPUArch already in the description
  const char* error;      // null: success; "": error 4 without a message
  const char* osNameOut;
  const char* guestOSName;
  const char* osType;
  const char* cpuArch;
};

// clang-format off
const ComputeRow kComputeRows[] = {
    // Amazon, read from the client properties.
    {__LINE__, 101, 301, "AUTO", "Red Hat Enterprise Linux 7:-7.6:-3.10:-x64",
     0, "", nullptr, "Linux_x64", "Red Hat Enterprise Linux 7", "Unix", "x64"},
    {__LINE__, 101, 301, "auto", "SUSE Linux x64:-12:-1:-x86", 0, "", nullptr,
     "Linux_x64", "SUSE Linux x64", "Unix", "x64"},
    {__LINE__, 101, 301, "", "Windows Server 2019:-10.0:-17763:-x86", 0, "",
     nullptr, "Windows_x86", "Windows Server 2019", "Windows", "x86"},
    {__LINE__, 102, 301, "AUTO", "Windows Server 2019:-10.0:-17763:-Any", 0,
     "", nullptr, "Windows_x64", "Windows Server 2019", "Windows", "x64"},
    {__LINE__, 101, 301, "AUTO", "Windows Server 2019:-10.0:-17763:-Any", 0,
     "", kNoArch, "Windows Server 2019", "Windows Server 2019", "Windows",
     "Any"},
    {__LINE__, 101, 301, "AUTO", "any:-1:-2:-x64", 1, "",
     "Guest OS name is not available [any]. Failed to convert VM . Job should "
     "be resubmitted after selecting correct guest OS type in restore screen.",
     "any", "any", "", "x64"},
    {__LINE__, 101, 301, "AUTO", "A:-B:-C", 0, "", kDbFailure, "AUTO", "A", "",
     ""},
    {__LINE__, 101, 301, "AUTO", nullptr, 0, "", kDbFailure, "AUTO", "", "",
     ""},
    {__LINE__, 101, 301, "AUTO", "", 1, "", kNoName, "", "", "", ""},
    // Amazon, given by the request: the value stands.
    {__LINE__, 101, 301, "Windows Server 2016 x64", nullptr, 0, "", nullptr,
     "Windows Server 2016 x64", "Windows", "", "x64"},
    {__LINE__, 101, 301, "Windows Server 2016", nullptr, 0, "", kArchFailure,
     "Windows Server 2016", "Windows", "", ""},
    {__LINE__, 101, 301, "CentOS 7 x64", nullptr, 0, "", kParseFailure,
     "CentOS 7 x64", "", "", ""},
    // Azure family: "Windows" or "Linux".
    {__LINE__, 101, 401, "CentOS Linux 7 (64-bit)", nullptr, 0, "", nullptr,
     "Linux", "Linux", "", ""},
    {__LINE__, 101, 402, "Microsoft Windows Server 2019", nullptr, 0, "",
     nullptr, "Windows", "Windows", "", ""},
    {__LINE__, 101, 401, "CentOS 7 x64", nullptr, 0, "", kParseFailure,
     "CentOS 7 x64", "", "", ""},
    {__LINE__, 101, 401, "AUTO", "", 2, "", nullptr, "Windows", "Windows",
     "Windows", ""},
    {__LINE__, 101, 402, "AUTO", "", 20, "", nullptr, "Linux", "Unix", "Unix",
     ""},
    {__LINE__, 101, 403, "AUTO", "", 1, "", kNoName, "", "", "", ""},
    // Kind 1401: distribution;architecture.
    {__LINE__, 101, 1401, "AUTO", "openSUSE Leap 15:-15.1:-4.12:-x64", 0, "",
     nullptr, "OpenSUSE;x86_64", "openSUSE Leap 15", "", "x64"},
    {__LINE__, 101, 1401, "AUTO", "Windows 10:-10.0:-19041:-x64", 0, "",
     nullptr, "Windows Server 2012;x86_64", "Windows 10", "Windows", "x64"},
    {__LINE__, 101, 1401, "AUTO", "SUSE Linux Enterprise 12:-12:-1:-x86", 0,
     "", nullptr, "SUSE;i386", "SUSE Linux Enterprise 12", "Unix", "x86"},
    {__LINE__, 101, 1401, "Ubuntu Linux", nullptr, 0, "", nullptr,
     "Ubuntu Linux", "Linux", "", ""},
    {__LINE__, 101, 1401, "Ubuntu Linux", nullptr, 0, "x86", nullptr,
     "Ubuntu;i386", "Linux", "", "x86"},
    {__LINE__, 101, 1401, "Linux Mint", nullptr, 0, "x64", nullptr,
     "Linux Mint", "Linux", "", "x64"},
    {__LINE__, 101, 1401, "Windows Server 2008 R2", nullptr, 0, "x64",
     nullptr, "Windows Server 2008;x86_64", "Windows", "", "x64"},
    // The other cloud kinds only settle the name.
    {__LINE__, 101, 1102, "Linux x64", nullptr, 0, "", nullptr, "Linux x64",
     "Linux", "", ""},
    {__LINE__, 101, 1301, "AUTO", "Debian 10:-10:-1:-x64", 0, "", nullptr,
     "Debian 10", "Debian 10", "", "x64"},
    // VMware needs an OS chosen, unless the source is kind 103.
    {__LINE__, 101, 101, "select", nullptr, 0, "", "", "select", "", "", ""},
    {__LINE__, 101, 101, "", nullptr, 0, "", "", "", "", "", ""},
    {__LINE__, 103, 101, "", nullptr, 0, "", nullptr, "", "", "", ""},
    {__LINE__, 103, 101, "Select", nullptr, 0, "", "", "Select", "", "", ""},
    {__LINE__, 101, 101, "windows9Server64Guest", nullptr, 0, "", nullptr,
     "windows9Server64Guest", "", "", ""},
    // Other kinds take the value as it is.
    {__LINE__, 101, 102, "AUTO", nullptr, 0, "", nullptr, "AUTO", "", "", ""},
};
// clang-format on

}  // namespace

TEST(GuestOS, ComputeOSSettlesTheValueEachDestinationExpects) {
  for (const auto& row : kComputeRows) {
    SCOPED_TRACE(row.line);
    ClientScope client(row.osText, row.osId);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    RestoreCtx request;
    request.osName = row.osName;
    request.vmInfo.nClientId = row.osText ? kClientId : 0;
    request.vmInfo.guestOSInfo.CPUArch = row.cpuArchIn;

    CQiError result = converter.ComputeOS(
        static_cast<VirtualServerInstanceType>(row.source),
        static_cast<VirtualServerInstanceType>(row.destination), nullptr,
        request);

    const auto& info = request.vmInfo.guestOSInfo;
    EXPECT_EQ(request.osName, row.osNameOut);
    EXPECT_EQ(info.GuestOSName, row.guestOSName);
    EXPECT_EQ(info.OSType, row.osType);
    EXPECT_EQ(info.CPUArch, row.cpuArch);
    if (!row.error) {
      EXPECT_FALSE(result.IsError()) << result.AsString();
      const bool cloud = row.destination == 301 ||
                         (row.destination >= 401 && row.destination <= 403) ||
                         row.destination >= 1102;
      EXPECT_EQ(capture.sink().ContainsAtLevel(
                    "Guest OS value [" + request.osName + "]", 0),
                cloud);
      continue;
    }
    EXPECT_TRUE(FXErrorUtil::IsVS(result, 4)) << result.AsString();
    EXPECT_EQ(result.GetLocation().strFile, "ZyVMConverter");
    EXPECT_GT(result.GetLocation().nLine, 0);
    if (*row.error) {
      EXPECT_TRUE(capture.sink().ContainsAtLevel(row.error, -1));
    } else {
      for (const auto& record : capture.sink().Records())
        EXPECT_NE(record.level, -1) << record.message;
    }
  }
}

TEST(GuestOS, AmazonWarnsAboutLinuxNamesWithout64Bit) {
  const char kWarning[] =
      "Amazon Import does not support x86 for linux flavours. OS information "
      "read from DB [Red Hat Enterprise Linux 7].";
  ClientScope client("Red Hat Enterprise Linux 7:-7.6:-3.10:-x64", 0);
  ScopedLogCapture capture;
  ZyVMConverter converter;
  RestoreCtx request;
  request.osName = "AUTO";
  request.vmInfo.nClientId = kClientId;
  EXPECT_FALSE(
      converter.ComputeOS(VS_VMWARE, VS_AMAZON, nullptr, request).IsError());
  EXPECT_TRUE(capture.sink().ContainsAtLevel(kWarning, -1));
  EXPECT_TRUE(capture.sink().ContainsAtLevel("Given OS name = [AUTO]", 0));
  EXPECT_TRUE(capture.sink().ContainsAtLevel("Guest OS value [Linux_x64]", 0));
}

TEST(GuestOS, KindFourteenHundredOneLogsItsChoice) {
  ClientScope client("openSUSE Leap 15:-15.1:-4.12:-x64", 0);
  ScopedLogCapture capture;
  ZyVMConverter converter;
  RestoreCtx request;
  request.vmInfo.nClientId = kClientId;
  converter.ComputeOS(VS_VMWARE, VS_KIND_1401, nullptr, request);
  EXPECT_TRUE(capture.sink().ContainsAtLevel("GuestCPUArch [x64]", 0));
  EXPECT_TRUE(capture.sink().ContainsAtLevel(
      "Restorectx osName [openSUSE Leap 15], Restorectx GuestOSName "
      "[openSUSE Leap 15] strOSName [OpenSUSE], arch [x86_64]",
      0));
}

TEST(GuestOS, CpuArchitectureUnknownOnAmazonFromAHyperVSourceIsLogged) {
  ClientScope client("Windows Server 2019:-10.0:-17763:-Any", 0);
  ScopedLogCapture capture;
  ZyVMConverter converter;
  RestoreCtx request;
  request.vmInfo.nClientId = kClientId;
  converter.ComputeOS(VS_HYPERV, VS_AMAZON, nullptr, request);
  EXPECT_TRUE(capture.sink().ContainsAtLevel(
      "Guest CPU Architecture is not available. Setting the OS type as x64.",
      0));
}

namespace {

struct ClientPropRow {
  int line;
  const char* osText;
  int osId;
  bool ok;
  const char* guestOSName;
  const char* osVersion;
  const char* cpuArch;
  const char* osType;
  const char* build;  // as the closing line shows it
  bool unknownLine;   // "Treating this as Unix VM" logged
};

// clang-format off
const ClientPropRow kClientPropRows[] = {
    {__LINE__, "Red Hat Enterprise Linux 7:-7.6:-3.10:-x64", 0, true,
     "Red Hat Enterprise Linux 7", "7.6", "x64", "Unix", "3.10", false},
    {__LINE__, "Microsoft Hyper-V Server:-6.3:-9600:-x64", 0, true,
     "Microsoft Hyper-V Server", "6.3", "x64", "Windows", "9600", false},
    {__LINE__, "FreeBSD:-12:-p1:-x64", 0, true, "FreeBSD", "12", "x64", "Unix",
     "p1", false},
    // Vendor words are case-sensitive.
    {__LINE__, "ubuntu:-20.04:-5.4:-x64", 0, true, "ubuntu", "20.04", "x64", "",
     "5.4", false},
    // More than four fields: the fourth is the architecture.
    {__LINE__, "Ubuntu Linux:-20.04:-5.4:-x64:-extra:-more", 0, true,
     "Ubuntu Linux", "20.04", "x64", "Unix", "5.4", false},
    {__LINE__, "Ubuntu Linux:-20.04:-5.4:-:-x64", 0, true, "Ubuntu Linux",
     "20.04", "", "Unix", "5.4", false},
    {__LINE__, "A:-B:-C:-", 0, true, "A", "B", "", "", "C", false},
    // Fewer than four fields cannot be read.
    {__LINE__, "A:-B:-C", 0, false, "A", "B", "", "", "", false},
    {__LINE__, "Windows Server 2019", 2, false, "", "", "", "", "", false},
    {__LINE__, "A:B:C:D", 0, false, "", "", "", "", "", false},
    // Nothing registered: the identifier decides.
    {__LINE__, "", 2, true, "Windows", "", "", "Windows", "", false},
    {__LINE__, "", 20, true, "Unix", "", "", "Unix", "", true},
    {__LINE__, "", 1, true, "", "", "", "", "", false},
    {__LINE__, "", 0, true, "", "", "", "", "", false},
    // "Any" asks the identifier too.
    {__LINE__, "Any:-1:-2:-Any", 3, true, "Windows", "1", "Any", "Windows",
     "2", false},
    {__LINE__, "Any:-1:-2:-x86", 0, true, "Unix", "1", "x86", "Unix", "2",
     true},
    {__LINE__, "ANY:-1:-2:-x86", 0, true, "ANY", "1", "x86", "", "2", false},
};
// clang-format on

}  // namespace

TEST(GuestOS, ClientPropertiesAreSplitAndClassified) {
  for (const auto& row : kClientPropRows) {
    SCOPED_TRACE(row.line);
    ClientScope client(row.osText, row.osId);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    VMInfoStructs::SGuestOSInfo info;

    EXPECT_EQ(converter.GetVMGuestOSClientProp(kClientId, info), row.ok);

    EXPECT_EQ(info.GuestOSName, row.guestOSName);
    EXPECT_EQ(info.OSVersion, row.osVersion);
    EXPECT_EQ(info.CPUArch, row.cpuArch);
    EXPECT_EQ(info.OSType, row.osType);
    const auto& sink = capture.sink();
    EXPECT_TRUE(sink.ContainsAtLevel(
        std::string("Guest OS name from client properties [") + row.osText +
            "]",
        0));
    EXPECT_EQ(sink.ContainsAtLevel("Failed to parse OS name", -1), !row.ok);
    EXPECT_EQ(
        sink.ContainsAtLevel(
            "Guest OS of source VM is unknown. Treating this as Unix VM", 0),
        row.unknownLine);
    if (row.ok) {
      EXPECT_TRUE(sink.ContainsAtLevel(
          "GuestOSName = [" + info.GuestOSName + "], OSBuild = [" + row.build +
              "], OSVersion = [" + info.OSVersion + "], CPUArch = [" +
              info.CPUArch + "] OSType = [" + info.OSType + "]",
          0));
    }
  }
}

TEST(GuestOS, UnnamedClientsAreClassifiedByTheirIdentifier) {
  ClientScope client("", 2);
  ScopedLogCapture capture;
  ZyVMConverter converter;
  VMInfoStructs::SGuestOSInfo info;
  ASSERT_TRUE(converter.GetVMGuestOSClientProp(kClientId, info));
  EXPECT_TRUE(capture.sink().Contains(
      LogKind::Debug, "SimOperatingSystemId for Guest VMClient [7] is [2]"));
  EXPECT_TRUE(capture.sink().Contains(LogKind::Debug, "Guest VM is Windows"));

  ClientScope unixClient("", 20);
  capture.sink().Clear();
  VMInfoStructs::SGuestOSInfo unixInfo;
  ASSERT_TRUE(converter.GetVMGuestOSClientProp(kClientId, unixInfo));
  EXPECT_TRUE(
      capture.sink().Contains(LogKind::Debug, "Guest VM is a Linux/Unix"));
}

TEST(GuestOS, ClientIdentifiersBelowOneAreRefusedSilently) {
  ClientScope client("Windows:-1:-2:-x64", 0);
  ScopedLogCapture capture;
  ZyVMConverter converter;
  VMInfoStructs::SGuestOSInfo info;
  EXPECT_FALSE(converter.GetVMGuestOSClientProp(0, info));
  EXPECT_FALSE(converter.GetVMGuestOSClientProp(-5, info));
  EXPECT_TRUE(capture.sink().Records().empty());
  EXPECT_EQ(info.GuestOSName, "");
}
