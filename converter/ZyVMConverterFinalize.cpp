//===- ZyVMConverterFinalize.cpp - Destination finalisation and Hyper-V adjustments ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

bool ZyVMConverter::InitializeDestinationVM() { return false; }
bool ZyVMConverter::FinalizeDestinationVM() { return false; }
void ZyVMConverter::CleanupDestinationVM() {}
void ZyVMConverter::AdjustVMConfiguration(VirtualServerInstanceType, IVMInfo*, VMInfoStructs::SVMInfo&) {}
void ZyVMConverter::AdjustHyperVBootDisk(VMInfoStructs::SVMInfo&) {}
void ZyVMConverter::AdjustHyperVNetworkConnections(VMInfoStructs::SVMInfo&) {}
void ZyVMConverter::AdjustHyperVMachineId(VMInfoStructs::SVMInfo&) {}
bool ZyVMConverter::IsSnapConversionSupported(VirtualServerInstanceType, VirtualServerInstanceType) { return false; }
