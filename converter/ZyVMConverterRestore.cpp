//===- ZyVMConverterRestore.cpp - Conversion at restore ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

CQiError ZyVMConverter::InitVMConversion(VirtualServerInstanceType, VirtualServerInstanceType, IVMInfo*, RestoreCtx&, DiskType_t) { return FXErrorUtil::ErrorVS(FXCodeLocation("ZyVMConverter", "InitVMConversion", __LINE__), 1); }
bool ZyVMConverter::ConvertVMForLiveMount(VirtualServerInstanceType, VirtualServerInstanceType, MountCtx&, VMInfoStructs::SVMInfo&, std::vector<VMInfoStructs::SDisk>&) { return false; }
bool ZyVMConverter::CheckDiskSize(const RestoreCtx&, VirtualServerInstanceType) { return true; }
void ZyVMConverter::RemoveUnsupportedDisks(RestoreCtx&, VirtualServerInstanceType) {}
