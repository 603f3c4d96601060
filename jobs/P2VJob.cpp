//===- P2VJob.cpp - A physical machine's restore request as a VM ----------===//
#include "P2VJob.h"

#include "JobSupport.h"

#include "p2v/ZyP2VRanges.h"
#include "p2v/ZyP2VUtils.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/messages/RecoveryMessages.h"
#include "platform/support/BoundedFile.h"

namespace zyjobs {
namespace {

using ::ClientEntity;
using ::RecoveryResponse;
using ResponseFile::ClientInfo;
using ResponseFile::CpuInfo;
using ResponseFile::HardwareConfig;

void AnswerClientOfMachine(Ida::VMOpReq& request, const std::string& guestOS) {
  if (!request.isSet(Ida::VMOpReq::recoveryResponse)) return;
  auto response =
      request.GetObject<RecoveryResponse>(Ida::VMOpReq::recoveryResponse);
  auto clients = response.GetList<ClientInfo>(RecoveryResponse::clients);
  if (clients.empty()) return;
  std::string clientName = clients[0]
                               .GetObject<ClientEntity>(ClientInfo::client)
                               .getstring(ClientEntity::clientName);
  bool windows = response.getint32(RecoveryResponse::osType) == 1;
  auto hardware =
      response.GetObject<HardwareConfig>(RecoveryResponse::hardwareConfig);
  auto cpus = hardware.GetList<CpuInfo>(HardwareConfig::cpus);
  bool is64Bit = cpus.empty() || cpus[0].getint32(CpuInfo::architecture) != 0;
  ::AnswerMachineClient(clientName, windows, is64Bit, guestOS);
}

// Counts of the hardware configuration that disagree with their lists:
// the translation uses the whole lists and the user is told.
void ReportCountMismatches(Ida::VMOpReq& request, IJobObserver& observer) {
  if (!request.isSet(Ida::VMOpReq::recoveryResponse)) return;
  auto response =
      request.GetObject<RecoveryResponse>(Ida::VMOpReq::recoveryResponse);
  for (const std::string& line : zy_p2v::CountMismatches(
           response.GetObject<zy_p2v::HW>(RecoveryResponse::hardwareConfig)))
    observer.OnWarning(line);
}

RestoreCtx Translate(const std::string& path,
                     VirtualServerInstanceType destination,
                     const std::string& guestOS, IJobObserver& observer) {
  std::string text = ReadInputFile(path, "restore request");
  Ida::VMOpReq request;
  std::string error;
  if (!request.parse(text, error))
    throw JobFailure("restore request [" + path +
                     "] is not a valid request: " + error);

  AnswerClientOfMachine(request, guestOS);
  ReportCountMismatches(request, observer);
  FailureWatch watch;
  RestoreCtx restore;
  if (ZyP2VUtils::CopyVMInfoFromKestrelResponse(request, restore.vmInfo,
                                                destination) != 0) {
    std::string reason = watch.LastFailure();
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
      reason.pop_back();
    throw JobFailure("restore request [" + path +
                     "] cannot be turned into a VM for [" +
                     PlatformKindName(destination) + "]" +
                     (reason.empty() ? std::string() : ": " + reason));
  }
  ZyP2VUtils::CopyRestoreCtxFromVmOpReq(restore, request);
  return restore;
}

}  // namespace

bool TranslatePhysicalMachine(const std::string& path,
                              VirtualServerInstanceType destination,
                              const std::string& guestOS,
                              IJobObserver& observer, RestoreCtx& restore,
                              SJobError& error) {
  return AtBoundary(error, [&] {
    restore = Translate(path, destination, guestOS, observer);
  });
}

ResultFacts PhysicalMachineFacts(const RestoreCtx& restore,
                                 VirtualServerInstanceType destination) {
  ResultFacts facts;
  facts.title = restore.strSourceVMName + " (physical) as a VM for " +
                PlatformKindName(destination);
  facts.osValue = restore.osName;
  return facts;
}

}  // namespace zyjobs
