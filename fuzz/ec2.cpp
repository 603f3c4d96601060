//===- ec2.cpp - Fuzz target: Amazon DescribeInstances responses ----------===//
#include "FuzzSupport.h"

#include "formats/common/FormatText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyfuzz::Quiet();
  VMInfoStructs::SVMInfo info;
  std::string error;
  ParseEc2Description(zyfuzz::Text(data, size), info, error);
  return 0;
}
