//===- message.cpp - Fuzz target: recovery messages and their VM ----------===//
//
// A restore request in XML; when it parses, its recovery response is turned
// into a VM for each destination kind a physical machine goes to.  What
// parses is written, read back and written again to the same text.
//
//===----------------------------------------------------------------------===//
#include "FuzzSupport.h"

#include "p2v/ZyP2VUtils.h"
#include "platform/messages/RecoveryMessages.h"

namespace {
constexpr VirtualServerInstanceType kDestinations[] = {
    VS_VMWARE, VS_HYPERV, VS_AMAZON, VS_AZURE_1, VS_KIND_1101};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyfuzz::Quiet();
  Ida::VMOpReq parsed;
  std::string error;
  if (!parsed.parse(zyfuzz::Text(data, size), error)) return 0;
  std::string written;
  parsed.serialize(written);
  Ida::VMOpReq again;
  if (!again.parse(written, error))
    zyfuzz::Broken(("the reader refuses the writer's text: " + error).c_str());
  std::string rewritten;
  again.serialize(rewritten);
  if (rewritten != written) zyfuzz::Broken("a message written twice differs");
  for (VirtualServerInstanceType destination : kDestinations) {
    Ida::VMOpReq request(parsed);
    VMInfoStructs::SVMInfo info;
    ZyP2VUtils::CopyVMInfoFromKestrelResponse(request, info, destination);
  }
  return 0;
}
