//===- ZyVMConverterKinds.cpp - Destination disk format rules -------------===//
//
// The destination disk format of each platform kind, and the file extension
// and provisioning type of each disk format, as the kind table
// (model/PlatformKinds.h) gives them.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include "model/PlatformKinds.h"

DiskType_t ZyVMConverter::DetermineDestinationDiskType(
    VirtualServerInstanceType destination) {
  return zykinds::FactsOf(destination).diskFormat;
}

std::string ZyVMConverter::GetDestinationDiskExtension(DiskType_t type) {
  std::string extension = zykinds::FormatFactsOf(type).extension;
  Log("std::string ZyVMConverter::GetDestinationDiskExtension(DiskType_t)", 2,
      "Disk extension is [%s] for converted disk type [%d]", extension.c_str(),
      static_cast<int>(type));
  return extension;
}

int ZyVMConverter::DetermineDestinationDiskProvisioningType(DiskType_t type) {
  return zykinds::FormatFactsOf(type).provisioning;
}
