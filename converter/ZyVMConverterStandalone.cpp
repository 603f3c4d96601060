//===- ZyVMConverterStandalone.cpp - Standalone conversion ----------------===//
//
// ConvertVM converts one machine without a restore job around it: mount the
// source, open the destination, convert every mounted file (configuration
// files into the description, disk images into destination images), hand
// the description to the converter's restore context, unmount, and finalise
// the destination.
//
// The first file that fails ends the conversion: the source stays mounted
// until the destructor unmounts it, and nothing is finalised.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include <map>
#include <string>

namespace {

constexpr char kConvertVM[] = "bool ZyVMConverter::ConvertVM()";

// File kinds of a mounted machine's file records.

}  // namespace

bool ZyVMConverter::ConvertVM() {
  VMInfoStructs::SVMInfo description;
  if (!MountSourceVM()) return false;
  if (!InitializeDestinationVM()) return false;

  // Destination records of the converted images, by mounted file name.
  std::map<std::string, VMInfoStructs::SDisk> convertedDisks;
  for (const auto& mount : vMountInfo) {
    for (const auto& file : mount.vFiles) {
      Log(kConvertVM, 0, "Converting [%s]", file.strDisplayName.c_str());
      if (file.nFileType == VMInfoStructs::kFileTypeConfig) {
        if (!ConvertConfigFile(file.fileName, description)) return false;
      } else if (file.nFileType == VMInfoStructs::kFileTypeDisk) {
        VMInfoStructs::SDisk converted;
        if (!ConvertDisk(file, converted)) return false;
        convertedDisks[file.fileName] = converted;
      }
    }
  }

  Log(kConvertVM, 1, "Name: %s\t\tGuid: %s\n", description.strVMName.c_str(),
      description.strGUID.c_str());
  Log(kConvertVM, 1, "GuestOS: %s\n", description.strGuestOS.c_str());
  Log(kConvertVM, 1, "Memory: %d    CPUs: %d\n",
      static_cast<int>(description.i64MemoryMB),
      static_cast<int>(description.i64NumCPUs));
  restoreCtx.vmInfo = description;

  // The description names the source's disk files; those that were
  // converted take the name of their destination image.
  for (auto& disk : restoreCtx.vmInfo.vDisks) {
    std::string key = disk.fileName;
    // VMware describes a disk by its newest delta file; the mounted image
    // is the base disk the deltas point to.
    if (eSourceInstType == VS_VMWARE)
      GetVMDKParentDiskName(disk.fileName.c_str(), key);
    auto found = convertedDisks.find(key);
    if (found != convertedDisks.end()) disk.fileName = found->second.fileName;
  }

  UnmountSourceVM();
  // The conversion is done; a finalisation failure has been logged by it.
  FinalizeDestinationVM();
  Log(kConvertVM, 0, "Virtual Machine Conversion complete");
  return true;
}
