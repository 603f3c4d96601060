//===- ZyVMConverterDiskRules.cpp - Destination disk rules ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

void ZyVMConverter::CorrectDiskExtension(VMInfoStructs::SDisk&) {}
void ZyVMConverter::RoundUpDiskSizeToNearestGB(VMInfoStructs::SDisk&) {}
std::string ZyVMConverter::GetOpenStackControllerType(const std::vector<VMInfoStructs::SDisk>&) { return {}; }
std::string ZyVMConverter::GetNutanixControllerType(int, VirtualServerInstanceType, const std::string&) { return {}; }
std::string ZyVMConverter::GetRhevControllerType(int) { return {}; }
