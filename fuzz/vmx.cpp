//===- vmx.cpp - Fuzz target: VMware configuration text and its VM --------===//
#include "FuzzSupport.h"

#include "formats/vmx/VMXFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyfuzz::Quiet();
  VMXFile file;
  if (!file.LoadText(zyfuzz::Text(data, size), "fuzz")) return 0;
  file.GetValue("disk.scsi0:1.diskname");
  VMInfoStructs::SVMInfo info;
  file.GetVMInfo(info);
  return 0;
}
