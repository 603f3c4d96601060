//===- ZyVMConverterDiskNaming.cpp - Destination disk naming ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

void ZyVMConverter::UpdateDiskNames(std::vector<VMInfoStructs::SDisk>&, const std::string&, const std::string&, VirtualServerInstanceType, VirtualServerInstanceType, bool) {}
void ZyVMConverter::SetOSDiskIfNotSet(std::vector<VMInfoStructs::SDisk>&, const VirtualServerInstanceType&, const VirtualServerInstanceType&, bool) {}
bool ZyVMConverter::UpdateDestinationDisk(const VMInfoStructs::SDisk&, VMInfoStructs::SDisk&) { return false; }
bool ZyVMConverter::UpdateToUniqueDiskName(VMInfoStructs::SDisk&) { return false; }
bool ZyVMConverter::GetDisknameFromCatalog(std::string, const char*, std::string&) { return false; }
