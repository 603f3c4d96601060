//===- P2VJob.cpp - A physical machine's restore request as a VM ----------===//
#include "P2VJob.h"

#include "ToolSupport.h"

#include "p2v/ZyP2VUtils.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/messages/RecoveryMessages.h"
#include "platform/settings/PlatformConfig.h"

namespace zytool {
namespace {

using ::ClientEntity;
using ::RecoveryResponse;
using ResponseFile::ClientInfo;
using ResponseFile::CpuInfo;
using ResponseFile::HardwareConfig;

// Operating-system ids of the clients answered for: a 64-bit Windows
// server (its guest refined by the OS text), a 32-bit Windows machine.
constexpr int kWindows64OSId = 211;
constexpr int kWindows32OSId = 208;
constexpr int kAnsweredClientId = 0x7e000000;

void AnswerMachineClient(Ida::VMOpReq& request, const std::string& guestOS) {
  if (!request.isSet(Ida::VMOpReq::recoveryResponse)) return;
  auto response =
      request.GetObject<RecoveryResponse>(Ida::VMOpReq::recoveryResponse);
  auto clients = response.GetList<ClientInfo>(RecoveryResponse::clients);
  if (clients.empty()) return;
  ZyClientRecord client;
  client.strName = clients[0]
                       .GetObject<ClientEntity>(ClientInfo::client)
                       .getstring(ClientEntity::clientName);
  ZyClientRecord configured;
  if (client.strName.empty() ||
      PlatformConfig::FindClientByName(client.strName, configured))
    return;
  bool windows = response.getint32(RecoveryResponse::osType) == 1;
  auto hardware =
      response.GetObject<HardwareConfig>(RecoveryResponse::hardwareConfig);
  auto cpus = hardware.GetList<CpuInfo>(HardwareConfig::cpus);
  bool is64Bit = cpus.empty() || cpus[0].getint32(CpuInfo::architecture) != 0;
  std::string name =
      guestOS.empty() ? (windows ? "Windows" : "Linux") : guestOS;
  client.nId = kAnsweredClientId;
  client.nOperatingSystemId =
      windows ? (is64Bit ? kWindows64OSId : kWindows32OSId) : 0;
  client.strOSInfo = name.find(":-") != std::string::npos
                         ? name
                         : name + ":-:-:-" + (is64Bit ? "x64" : "x86");
  PlatformConfig::AddClient(client);
}

}  // namespace

RestoreCtx TranslatePhysicalMachine(const std::string& path,
                                    VirtualServerInstanceType destination,
                                    const std::string& guestOS) {
  std::string text = ReadInputFile(path, "restore request");
  Ida::VMOpReq request;
  std::string error;
  if (!request.parse(text, error))
    throw ToolError("restore request [" + path +
                    "] is not a valid request: " + error);

  AnswerMachineClient(request, guestOS);
  FailureWatch watch;
  RestoreCtx restore;
  if (ZyP2VUtils::CopyVMInfoFromKestrelResponse(request, restore.vmInfo,
                                                destination) != 0) {
    std::string reason = watch.LastFailure();
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
      reason.pop_back();
    throw ToolError("restore request [" + path +
                    "] cannot be turned into a VM for [" +
                    PlatformKindName(destination) + "]" +
                    (reason.empty() ? std::string() : ": " + reason));
  }
  ZyP2VUtils::CopyRestoreCtxFromVmOpReq(restore, request);
  return restore;
}

}  // namespace zytool
