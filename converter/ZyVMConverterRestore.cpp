//===- ZyVMConverterRestore.cpp - Conversion at restore -------------------===//
//
// Before the restore agent writes any disk of a machine bound for another
// platform, InitVMConversion checks and prepares the request, in this
// order, stopping at the first failure (nothing is undone):
//
//   1. a snapshot-based conversion is refused                     error 7
//   2. an Azure source that carries its disk-encryption key file
//      ("dek.bkp") cannot be restored elsewhere                   error 8
//   3. the guest OS is settled (ComputeOS)                         error 4
//   4. CD-ROM entries the destination cannot take are dropped
//   5. no disk may exceed the destination's size limit            error 5
//   6. every disk gets its destination name, format and controller
//   7. the destination platform library is told about the restore error 1
//
// ConvertVMForLiveMount builds a mounted machine's description from the
// generalised configuration file ("*.zyf") among its mounted files.
//
//===----------------------------------------------------------------------===//
#include "converter/ConverterFacts.h"
#include "converter/ZyVMConverter.h"

#include "model/PlatformKinds.h"
#include "formats/zyf/VMConfigFile.h"
#include "platform/support/FXString.h"
#include "platform/support/FileSearch.h"

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

using VMInfoStructs::SDisk;
using zy_converter::StableVMUuid;

namespace {

constexpr char kInitVMConversion[] =
    "CQiError ZyVMConverter::InitVMConversion(VirtualServerInstanceType, "
    "VirtualServerInstanceType, IVMInfo*, const RestoreCtx&, DiskType_t)";
constexpr char kLiveMount[] =
    "bool ZyVMConverter::ConvertVMForLiveMount(VirtualServerInstanceType, "
    "VirtualServerInstanceType, const MountCtx&, VMInfoStructs::SVMInfo&, "
    "std::vector<VMInfoStructs::SDisk>&)";
constexpr char kCheckDiskSize[] =
    "bool ZyVMConverter::CheckDiskSize(const RestoreCtx&, "
    "VirtualServerInstanceType)";
constexpr char kRemoveUnsupported[] =
    "void ZyVMConverter::RemoveUnsupportedDisks(const RestoreCtx&, "
    "VirtualServerInstanceType)";

CQiError InitError(int line, int number) {
  return FXErrorUtil::ErrorVS(
      FXCodeLocation("ZyVMConverter", kInitVMConversion, line), number);
}

// An Azure backup holds the disk-encryption key of an encrypted machine as
// "dek.bkp"; such a machine cannot be decrypted on another platform.
bool HasDiskEncryptionKey(const std::vector<SDisk>& entries) {
  for (const SDisk& entry : entries)
    if (FXString::CompareNoCase(entry.strDisplayName, "dek.bkp") == 0)
      return true;
  return false;
}

}  // namespace

CQiError ZyVMConverter::InitVMConversion(VirtualServerInstanceType source,
                                         VirtualServerInstanceType destination,
                                         IVMInfo* vmInfo, RestoreCtx& request,
                                         DiskType_t /*diskType*/) {
  Debug(kInitVMConversion, "Starting VM Conversion..");

  if (request.bSnapConversion &&
      !IsSnapConversionSupported(source, destination))
    return InitError(__LINE__, 7);

  if ((source == VS_AZURE_1 || source == VS_AZURE_2) &&
      HasDiskEncryptionKey(request.vDisks))
    return InitError(__LINE__, 8);

  CQiError os = ComputeOS(source, destination, vmInfo, request);
  if (os.IsError()) return os;

  RemoveUnsupportedDisks(request, destination);
  if (!CheckDiskSize(request, destination)) return InitError(__LINE__, 5);

  // Disks are named after the source VM's identifier, so a VM without one
  // is given its stable one first.
  if (request.strSourceVMGUID.empty())
    request.strSourceVMGUID =
        StableVMUuid(request.strSourceVMName.empty() ? request.strVMName
                                                     : request.strSourceVMName);
  UpdateDiskNames(request.vDisks, request.strSourceVMGUID, request.strVMName,
                  destination, source, request.bPlatformConversion);

  if (request.bPlatformConversion) {
    // Without an access object the platform library has nothing to start.
    if (!vmInfo) return CQiError::Success();
    if (!vmInfo->StartPlatformConversion(request))
      return InitError(__LINE__, 1);
    return CQiError::Success();
  }
  if (!vmInfo)
    return FXErrorUtil::ErrorVS(
        FXCodeLocation("ZyVMConverter", kInitVMConversion, __LINE__), 1,
        "Invalid VMInfo object");
  if (!vmInfo->PrepareRestoreConversion(request)) return InitError(__LINE__, 1);
  return CQiError::Success();
}

bool ZyVMConverter::CheckDiskSize(const RestoreCtx& request,
                                  VirtualServerInstanceType destination) {
  const int64_t largest = zykinds::FactsOf(destination).largestDiskBytes;
  if (largest == 0) return true;
  for (const SDisk& disk : request.vDisks) {
    if (disk.nFileType != VMInfoStructs::kFileTypeDisk) continue;
    if (disk.i64MaxSizeInBytes <= largest) continue;
    Error(kCheckDiskSize,
          "Disk size [%llu] has exceeded the maximum allowed disk size [%llu]",
          static_cast<unsigned long long>(disk.i64MaxSizeInBytes),
          static_cast<unsigned long long>(largest));
    return false;
  }
  return true;
}

void ZyVMConverter::RemoveUnsupportedDisks(
    RestoreCtx& request, VirtualServerInstanceType destination) {
  const bool dropCdroms = !zykinds::KeepsCdroms(destination);
  std::vector<SDisk> kept;
  kept.reserve(request.vDisks.size());
  for (const SDisk& entry : request.vDisks) {
    if (dropCdroms && entry.nDeviceType == VMInfoStructs::kDeviceTypeCdrom) {
      Debug(kRemoveUnsupported,
            "Removing Disk [%s] from the disk list as it is of unsupported "
            "type [CDROM]",
            entry.strDisplayName.c_str());
      continue;
    }
    kept.push_back(entry);
  }
  request.vDisks = std::move(kept);
}

bool ZyVMConverter::ConvertVMForLiveMount(VirtualServerInstanceType source,
                                          VirtualServerInstanceType destination,
                                          MountCtx& mount,
                                          VMInfoStructs::SVMInfo& description,
                                          std::vector<SDisk>& disks) {
  if (disks.empty()) {
    Error(kLiveMount, "No disk found for VM [%s]", mount.strVMName.c_str());
    return false;
  }

  std::string configFile;
  if (!GetFirstFileByExtension(mount.strMountPath, "zyf", configFile)) {
    Error(kLiveMount,
          "Could not find any config file with extension zyf in [%s]",
          mount.strMountPath.c_str());
    return false;
  }
  if (!VMConfigFile(configFile).Load(description)) {
    Error(kLiveMount, "Failed to convert VM from config file [%s]",
          configFile.c_str());
    return false;
  }

  // Several live mounts of one backup may run at once: an unnamed mount is
  // named after the machine, the mount and this process.
  if (mount.strVMName.empty())
    mount.strVMName = FXString::Format(
        "%s_%lld_%d", description.strVMName.c_str(),
        static_cast<long long>(mount.nMountId), static_cast<int>(getpid()));
  description.strVMName = mount.strVMName;

  if (description.strGUID.empty())
    description.strGUID = StableVMUuid(description.strVMName);
  UpdateDiskNames(disks, description.strGUID, description.strVMName,
                  destination, source, false);
  description.vDisks = disks;
  return true;
}
