//===- ZyVMConverterComplete.cpp - Completing the conversion ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

CQiError ZyVMConverter::CompleteVMConversion(VirtualServerInstanceType, VirtualServerInstanceType, IVMInfo*, RestoreCtx&) { return FXErrorUtil::ErrorVS(FXCodeLocation("ZyVMConverter", "CompleteVMConversion", __LINE__), 1); }
