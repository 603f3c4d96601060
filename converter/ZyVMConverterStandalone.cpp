//===- ZyVMConverterStandalone.cpp - Standalone conversion ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

bool ZyVMConverter::ConvertVM() { return false; }
