//===- ZyVMConverterSetup.cpp - Setters, access objects and source mounting ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

void ZyVMConverter::SetSourceInstance(VirtualServerInstanceType, const std::string&, const std::string&, const std::string&) {}
void ZyVMConverter::SetDestinationInstance(VirtualServerInstanceType, const std::string&, const std::string&, const std::string&) {}
void ZyVMConverter::SetSourceVM(const std::string&, const std::string&, bool) {}
void ZyVMConverter::SetDestinationVM(const std::string&, const std::string&, const std::string&, bool) {}
bool ZyVMConverter::PrepareVMInfo(IVMInfo*&, VirtualServerInstanceType, const std::string&, const std::string&, const std::string&) { return false; }
void ZyVMConverter::CleanupVMInfo(IVMInfo*& vmInfo) { if (vmInfo) IVMInfo::DeleteObject(vmInfo); vmInfo = nullptr; }
bool ZyVMConverter::MountSourceVM() { return false; }
void ZyVMConverter::UnmountSourceVM() { CleanupVMInfo(pSourceVMInfo); }
