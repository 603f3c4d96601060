//===- ZyP2VUtilsGuestOS.cpp - Guest OS identifiers and restore options ---===//
//
// A VMware machine names its guest by an identifier ("windows8Server64Guest",
// "otherLinux64Guest", ...).  For a Windows client it comes from the
// client's operating-system id as the platform numbers them; ids 210 to
// 213 cover several Windows releases, which only the client's OS
// description tells apart.  Other destinations take the description itself.
//
//===----------------------------------------------------------------------===//
#include "p2v/ZyP2VUtils.h"

#include "platform/support/EvDebug.h"
#include "platform/settings/PlatformConfig.h"

namespace {

const char kVMwareGuestFn[] =
    "static long int ZyP2VUtils::GetVMWareGuestOSIdentifier(int, std::string&, "
    "bool, bool)";
const char kGuestOsInfoFn[] =
    "static bool ZyP2VUtils::GetGuestOsInfoFromDb(int, std::string&)";

const char kWindowsDefaultGuest[] = "winNetStandardGuest";

// Operating-system id ranges and their guest identifier; null: decided by
// the OS description.
struct SGuestIdRow {
  int nFirstId;
  int nLastId;
  const char* identifier;
};

// clang-format off
constexpr SGuestIdRow kWindowsGuestIds[] = {
    {3, 3, "win2000ServGuest"},
    {24, 24, "winXPProGuest"},
    {27, 27, "winXPPro64Guest"},
    {48, 48, "winXPPro64Guest"},
    {34, 34, "winNetStandardGuest"},
    {46, 46, "winNetStandard64Guest"},
    {62, 62, "winVistaGuest"},
    {63, 64, "winVista64Guest"},
    {65, 65, "winLonghornGuest"},
    {66, 67, "winLonghorn64Guest"},
    {208, 209, "windows7Guest"},
    {210, 213, nullptr},
};
// clang-format on

// Tested in order on the description, case-sensitively; the first match
// wins.
struct SDescriptionRow {
  const char* text;
  const char* identifier;
};

// clang-format off
constexpr SDescriptionRow kWindowsDescriptions[] = {
    {"Windows Server 2008 R2", "windows7Server64Guest"},
    {"Windows 7", "windows7_64Guest"},
    {"Windows Server 2012", "windows8Server64Guest"},
    {"Windows 8", "windows8_64Guest"},
    {"Windows Server 2016", "windows9Server64Guest"},
    {"Windows 10", "windows9_64Guest"},
};
// clang-format on
const char kUnmatchedDescriptionGuest[] = "windows7Server64Guest";

const SGuestIdRow* FindGuestIdRow(int osId) {
  for (const auto& row : kWindowsGuestIds)
    if (osId >= row.nFirstId && osId <= row.nLastId) return &row;
  return nullptr;
}

const char* GuestFromDescription(const std::string& description) {
  for (const auto& row : kWindowsDescriptions)
    if (description.find(row.text) != std::string::npos) return row.identifier;
  return kUnmatchedDescriptionGuest;
}

}  // namespace

long ZyP2VUtils::GetVMWareGuestOSIdentifier(int nClientId,
                                            std::string& strGuestId,
                                            bool bIsWindows, bool bIs64Bit) {
  EvDebug log;
  int osId = 0;
  ZyClient client(nClientId);
  client.getOperatingSystemId(osId, nullptr);
  std::string description;
  ClientProperties properties(nClientId);
  properties.getSimOSInfo(description, nullptr);

  if (!bIsWindows) {
    log.Debug(kVMwareGuestFn,
              " OS Platform Type is empty, using the CPU architecture [%s]",
              bIs64Bit ? "x64" : "x86");
    strGuestId = bIs64Bit ? "otherLinux64Guest" : "otherLinuxGuest";
    return 0;
  }
  if (const SGuestIdRow* row = FindGuestIdRow(osId))
    strGuestId =
        row->identifier ? row->identifier : GuestFromDescription(description);
  if (strGuestId.empty()) {
    log.Debug(kVMwareGuestFn,
              " OS Platform Type is empty, Defaulting to winNetStandardGuest");
    strGuestId = kWindowsDefaultGuest;
  }
  return 0;
}

bool ZyP2VUtils::GetGuestOsInfoFromDb(int nClientId, std::string& strOSInfo) {
  std::string description;
  ClientProperties properties(nClientId);
  int error = properties.getSimOSInfo(description, nullptr);
  if (error != 0) {
    EvDebug().Error(kGuestOsInfoFn,
                    "Error [%d] returned while fetching the SimOSInfo for the "
                    "client [%d].",
                    error, nClientId);
    strOSInfo.clear();
    return false;
  }
  strOSInfo = description;
  return true;
}

void ZyP2VUtils::CopyRestoreCtxFromVmOpReq(RestoreCtx& ctx, Ida::VMOpReq& req) {
  using Ida::VMOpReq;
  using ResponseFile::ClientInfo;
  using ResponseFile::HardwareConfig;
  if (req.isSet(VMOpReq::recoveryResponse)) {
    auto response = req.GetObject<RecoveryResponse>(VMOpReq::recoveryResponse);
    if (response.isSet(RecoveryResponse::hardwareConfig)) {
      auto hw =
          response.GetObject<HardwareConfig>(RecoveryResponse::hardwareConfig);
      ctx.bHardwareFlag = hw.getint64(HardwareConfig::hardwareFlag) != 0;
    }
    auto clients = response.GetList<ClientInfo>(RecoveryResponse::clients);
    // An empty client list names nobody: the names keep their values.
    if (response.isSet(RecoveryResponse::clients) && !clients.empty()) {
      auto client = clients[0].GetObject<ClientEntity>(ClientInfo::client);
      ctx.strSourceVMName = client.getstring(ClientEntity::clientName);
      ctx.strSourceVMGUID = client.getstring(ClientEntity::clientValue);
    }
  }
  ctx.bRequestFlagA = req.getint64(VMOpReq::flagA) != 0;
  ctx.bRequestFlagB = req.getint64(VMOpReq::flagB) != 0;
  ctx.bRequestFlagC = req.getint64(VMOpReq::flagC) != 0;

  const VMInfoStructs::SVMInfo& vm = ctx.vmInfo;
  ctx.vDisks = vm.vDisks;
  ctx.strVMName = vm.strVMName;
  ctx.strRegion = vm.strRegion;
  ctx.strDatastore = vm.strDatastore;
  ctx.strDestinationHost = vm.strDestinationHost;
  ctx.strPrimaryInterfaceName = vm.strPrimaryInterfaceName;
  ctx.strVMSize = vm.strVMSize;
  ctx.vNetworkCards = vm.vNetworkCards;
  ctx.vSecurityGroups = vm.vSecurityGroups;
  ctx.osName = vm.strGuestOS;
}
