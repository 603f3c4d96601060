//===- ZyVMConverterConfigFiles.cpp - Configuration file conversion ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

bool ZyVMConverter::ConvertConfigFile(const std::string&, VMInfoStructs::SVMInfo&) { return false; }
void ZyVMConverter::GetVMDKParentDiskName(const char* name, std::string& parent) { parent = name ? name : ""; }
void ZyVMConverter::TestVMXFile() {}
