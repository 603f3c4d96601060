//===- ZyVMConverterDisks.cpp - Disk image conversion ---===//
// Not built yet: every operation reports failure.
#include "converter/ZyVMConverter.h"

bool ZyVMConverter::ConvertDisk(const VMInfoStructs::SDisk&, VMInfoStructs::SDisk&) { return false; }
bool ZyVMConverter::CreateDestinationDisk(CArchiveVirtualDiskFile&, VMInfoStructs::SDisk&, CArchiveVirtualDiskFile::Context_t&) { return false; }
bool ZyVMConverter::CreateTempDestinationDisk(const std::string&, long long, DiskType_t) { return false; }
bool ZyVMConverter::TestReadDisk() { return false; }
bool ZyVMConverter::TestCloneDisk() { return false; }
