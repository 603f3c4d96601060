//===- ZyVMConverterInstanceSize.cpp - Instance size and region selection ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

bool ZyVMConverter::AdjustVMSize(RestoreCtx&) { return false; }
bool ZyVMConverter::AdjustVMRegion(RestoreCtx&) { return true; }
int ZyVMConverter::GetNumOfAzureDiskSupportedForVMSize(int) { return 1; }
bool ZyVMConverter::DoesInstanceTypeSupports32Bit(const std::string&) { return false; }
bool ZyVMConverter::IsKVMInstanceType(const std::string&) { return false; }
bool CompareVMSize(const VMInfoStructs::SVMSizeInfo&, const VMInfoStructs::SVMSizeInfo&) { return false; }
