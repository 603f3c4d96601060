//===- xen.cpp - Fuzz target: Xen and Oracle VM domain files --------------===//
#include "FuzzSupport.h"

#include "formats/common/FormatText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyfuzz::Quiet();
  VMInfoStructs::SVMInfo info;
  std::string error;
  ParseXenDomainConfig(zyfuzz::Text(data, size), info, error);
  return 0;
}
