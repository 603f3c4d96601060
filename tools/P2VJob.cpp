//===- P2VJob.cpp - A physical machine's restore request as a VM ----------===//
#include "P2VJob.h"

#include "ToolSupport.h"

#include "p2v/ZyP2VRanges.h"
#include "p2v/ZyP2VUtils.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/support/BoundedFile.h"

#include <cstdio>

namespace zytool {
namespace {

// Counts of the hardware configuration that disagree with their lists:
// the translation uses the whole lists and the user is told.
void ReportCountMismatches(Ida::VMOpReq& request) {
  if (!request.isSet(Ida::VMOpReq::recoveryResponse)) return;
  auto response =
      request.GetObject<RecoveryResponse>(Ida::VMOpReq::recoveryResponse);
  for (const std::string& line : zy_p2v::CountMismatches(
           response.GetObject<zy_p2v::HW>(RecoveryResponse::hardwareConfig)))
    std::fprintf(stderr, "zyvmconvert: warning: %s\n", line.c_str());
}

}  // namespace

RestoreCtx TranslatePhysicalMachine(const std::string& path,
                                    VirtualServerInstanceType destination) {
  std::string text;
  std::string error;
  if (!ReadBoundedFile(path, text, error))
    throw ToolError("cannot read restore request: " + error);
  Ida::VMOpReq request;
  if (!request.parse(text, error))
    throw ToolError("restore request [" + path +
                    "] is not a valid request: " + error);

  ReportCountMismatches(request);
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
