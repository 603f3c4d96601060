//===- ZyVMConverterGuestOS.cpp - Guest OS determination ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

CQiError ZyVMConverter::ComputeOS(VirtualServerInstanceType, VirtualServerInstanceType, IVMInfo*, RestoreCtx&) { return FXErrorUtil::ErrorVS(FXCodeLocation("ZyVMConverter", "ComputeOS", __LINE__), 4); }
bool ZyVMConverter::GetVMGuestOSClientProp(int, VMInfoStructs::SGuestOSInfo&) { return false; }
