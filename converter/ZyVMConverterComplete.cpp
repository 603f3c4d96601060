//===- ZyVMConverterComplete.cpp - Completing a restore-time conversion ---===//
//
// CompleteVMConversion is the second half of a restore onto another platform
// kind.  The agent has written the disks and the VM's configuration files;
// this reads the configuration files into a VM description, matches the
// description's disks with the restored files, builds the destination disk
// list for the destination kind, has the destination platform build the VM
// (FinalizeDestinationVM) and hands the outcome back in the caller's request.
//
// The destination disk list, by destination kind:
//
//   101 301 401 402 403 501 601    the restored disks, renumbered 0, 1, 2...
//   701 801 901 1101 1401
//   102 from 401 or 402            every restored .vhd/.vhdx file
//   102 from 101, restore type 4   the restored disks, controller left to
//                                  the destination
//   102 from anything else         the configuration's disks that were
//                                  restored (VMware: by delta-disk parent name
//                                  or through the backup's catalog file)
//   anything else                  no disks
//
// The converter works on its own copy of the request (restoreCtx); the
// results go back into the caller's request once finalisation has run,
// successful or not.  A description's copy leaves its disk controllers out,
// so they are carried by hand: the configuration's (the request's when the
// configuration declares none) reach the destination and the caller, and a
// VMware destination keeps the source's controller models.
//
//===----------------------------------------------------------------------===//
#include <map>
#include <string>
#include <vector>

#include "converter/ZyVMConverter.h"
#include "model/PlatformKinds.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

namespace {

using VMInfoStructs::SDisk;
using DiskList = std::vector<SDisk>;
// Restored disks by strMatchName; a later disk with the same name wins.
using RestoredDiskIndex = std::map<std::string, SDisk>;

const char kFn[] =
    "CQiError ZyVMConverter::CompleteVMConversion(VirtualServerInstanceType, "
    "VirtualServerInstanceType, IVMInfo*, const RestoreCtx&)";

const char kGeneralizedConfigName[] = "VMConfig.zyf";

using VMInfoStructs::kDeviceTypeCdrom;
using VMInfoStructs::kDeviceTypeHardDisk;
using VMInfoStructs::kFileTypeConfig;
using VMInfoStructs::kFileTypeDisk;
// Restore type of a restore whose disks the destination places itself.
constexpr int32_t kRestoreTypeConversion = 4;

FXCodeLocation Here(int line) {
  return FXCodeLocation("ZyVMConverter", kFn, line);
}

bool IsGeneralizedConfig(const SDisk& file) {
  return file.nFileType == kFileTypeConfig &&
         FXString::CompareNoCase(file.strDisplayName, kGeneralizedConfigName) ==
             0;
}

void MarkFirstRestoredDiskAsOSDisk(ZyVMConverter& converter, DiskList& files) {
  for (auto& file : files) {
    if (file.nFileType != kFileTypeDisk) continue;
    file.isOSDisk = true;
    converter.Debug(kFn, "OS Disk is set.");
    return;
  }
}

// Reads every configuration file other than the generalised one into the
// description and indexes the restored disks.  A configuration file that
// cannot be read does not stop the restore: the generalised description, when
// there is one, already holds what the VM needs.
RestoredDiskIndex ConvertOtherFiles(ZyVMConverter& converter,
                                    const DiskList& files,
                                    const std::string& folder,
                                    VMInfoStructs::SVMInfo& description) {
  RestoredDiskIndex index;
  for (const auto& file : files) {
    converter.Log(kFn, 2, "File [%s] is present in VM restore list",
                  file.diskIndexName.c_str());
    if (file.nFileType == kFileTypeConfig && !IsGeneralizedConfig(file)) {
      const std::string path = FXPath::Append(folder, file.diskIndexName, 0);
      const bool converted = converter.ConvertConfigFile(path, description);
      converter.Log(kFn, 0,
                    converted ? "Converted config file [%s] [%s]"
                              : "Skipped config file [%s] [%s]",
                    file.strDisplayName.c_str(), path.c_str());
    } else if (file.nFileType == kFileTypeDisk) {
      index[file.strMatchName] = file;
    }
  }
  return index;
}

// Oracle VM configurations say which disk holds the OS; the restored files
// take that mark over from the configuration disk they restore.
void CopyOracleVMOSMarks(const DiskList& configDisks, DiskList& files) {
  for (const auto& disk : configDisks) {
    if (disk.nFileType != kFileTypeDisk) continue;
    for (auto& file : files)
      if (FXString::Compare(file.diskIndexName, disk.strConfigDiskName) == 0)
        file.isOSDisk = disk.isOSDisk;
  }
}

// Every restored disk, numbered by its place among the disks.
DiskList RestoredDisksRenumbered(DiskList& files) {
  DiskList disks;
  int32_t slot = 0;
  for (auto& file : files) {
    if (file.nFileType != kFileTypeDisk) continue;
    file.nSlot = slot++;
    disks.push_back(file);
  }
  return disks;
}

// Azure sources restore their disks as VHD files, whatever the index says
// the entry is.
DiskList RestoredVHDFiles(const DiskList& files) {
  DiskList disks;
  for (const auto& file : files)
    if (FXString::MatchRightNoCase(file.fileName, ".vhdx") ||
        FXString::MatchRightNoCase(file.fileName, ".vhd"))
      disks.push_back(file);
  return disks;
}

// The restored disks with their controller left for Hyper-V to choose.
DiskList RestoredDisksWithoutController(DiskList& files) {
  DiskList disks;
  for (auto& file : files) {
    if (file.nFileType != kFileTypeDisk) continue;
    file.strControllerType.clear();
    disks.push_back(file);
  }
  return disks;
}

// The restored disk indexed under name.  A disk without a file name (an empty
// CD-ROM drive) is never matched: it would otherwise take the file of any
// restored disk that has no match name.
const SDisk* FindRestored(const RestoredDiskIndex& index,
                          const std::string& name) {
  if (name.empty()) return nullptr;
  auto it = index.find(name);
  return it == index.end() ? nullptr : &it->second;
}

// A configuration disk becomes the disk restored for it: its file, the
// destination format and the sizes the naming pass gave that file (the
// image's virtual size, not its file's), and the OS disk mark the naming
// pass settled, so the description says what the other destinations' lists
// of restored disks say.
void TakeRestoredDisk(SDisk& disk, const SDisk& restored) {
  disk.fileName = restored.fileName;
  disk.strDisplayName = restored.strDisplayName;
  disk.eDiskType = restored.eDiskType;
  if (restored.i64MaxSizeInBytes > 0)
    disk.i64MaxSizeInBytes = restored.i64MaxSizeInBytes;
  if (restored.i64CurrSizeInBytes > 0)
    disk.i64CurrSizeInBytes = restored.i64CurrSizeInBytes;
  disk.isOSDisk = restored.isOSDisk;
}

// The configuration's disks, each given the file it was restored to.  VMware
// disks running on a snapshot are named after their delta file, so their
// parent disk's name is tried too, and then the catalog that the backup keeps
// of the disks by controller position.  False when the catalog cannot be
// read.
bool MatchConfigDisksWithRestored(ZyVMConverter& converter,
                                  VirtualServerInstanceType source,
                                  const RestoreCtx& copy,
                                  const RestoredDiskIndex& index,
                                  DiskList& disks) {
  const bool fromVMware = source == VS_VMWARE;
  for (SDisk disk : copy.vmInfo.vDisks) {
    const SDisk* restored = FindRestored(index, disk.fileName);
    if (restored == nullptr && fromVMware) {
      std::string parent;
      converter.GetVMDKParentDiskName(disk.fileName.c_str(), parent);
      restored = FindRestored(index, parent);
    }
    if (restored != nullptr) {
      TakeRestoredDisk(disk, *restored);
      disks.push_back(disk);
      continue;
    }
    if (!fromVMware) continue;
    const std::string key = FXString::Format(
        ".%s%d:%d.", disk.strControllerType.c_str(), disk.nBus, disk.nSlot);
    std::string name;
    if (!converter.GetDisknameFromCatalog(copy.strStagingPath, key.c_str(),
                                          name)) {
      converter.Log(kFn, -1, "Failed to get Disk name from catalog file");
      return false;
    }
    restored = FindRestored(index, name);
    if (restored != nullptr) {
      TakeRestoredDisk(disk, *restored);
    } else if (disk.nDeviceType == kDeviceTypeHardDisk) {
      continue;  // a disk that was not backed up
    } else if (disk.nDeviceType == kDeviceTypeCdrom) {
      disk.fileName.clear();  // the drive stays, its media does not
    }
    disks.push_back(disk);
  }
  return true;
}

// A destination that keeps CD-ROM drives (the kind table's fact) keeps the
// description's: a list made of the restored files holds none, as a drive
// has no file to restore, so they are added empty, at their own addresses.
void KeepCdromDrives(VirtualServerInstanceType destination,
                     const RestoreCtx& copy, DiskList& disks) {
  if (!zykinds::KeepsCdroms(destination)) return;
  for (const auto& disk : disks)
    if (disk.nDeviceType == kDeviceTypeCdrom) return;
  for (SDisk drive : copy.vmInfo.vDisks) {
    if (drive.nFileType != kFileTypeDisk ||
        drive.nDeviceType != kDeviceTypeCdrom)
      continue;
    drive.fileName.clear();  // the drive stays, its media does not
    disks.push_back(drive);
  }
}

// Hyper-V's disk list: the restored files, or the configuration's disks
// matched with them.
bool HyperVDisks(ZyVMConverter& converter, VirtualServerInstanceType source,
                 RestoreCtx& copy, const RestoredDiskIndex& index,
                 DiskList& disks) {
  if (source == VS_AZURE_1 || source == VS_AZURE_2) {
    disks = RestoredVHDFiles(copy.vDisks);
    return true;
  }
  if (source == VS_VMWARE && copy.nRestoreType == kRestoreTypeConversion) {
    disks = RestoredDisksWithoutController(copy.vDisks);
    return true;
  }
  return MatchConfigDisksWithRestored(converter, source, copy, index, disks);
}

// The destination disk list for the destination kind.  False when the
// catalog lookup fails.
bool BuildDestinationDisks(ZyVMConverter& converter,
                           VirtualServerInstanceType source,
                           VirtualServerInstanceType destination,
                           RestoreCtx& copy, const RestoredDiskIndex& index,
                           DiskList& disks) {
  if (zykinds::Has(destination, zykinds::kTakesRestoredDisks)) {
    disks = RestoredDisksRenumbered(copy.vDisks);
  } else if (destination != VS_HYPERV) {
    return true;  // no disks
  } else if (!HyperVDisks(converter, source, copy, index, disks)) {
    return false;
  }
  KeepCdromDrives(destination, copy, disks);
  return true;
}

// Within one conversion the catalog is read once, however many disks are
// looked up in it.
class CatalogReadOnce {
 public:
  explicit CatalogReadOnce(ZyVMConverter& converter) : converter_(converter) {
    converter_.bCacheCatalog = true;
  }
  ~CatalogReadOnce() {
    converter_.bCacheCatalog = false;
    converter_.pCatalog.reset();
    converter_.strCatalogPath.clear();
  }
  CatalogReadOnce(const CatalogReadOnce&) = delete;
  CatalogReadOnce& operator=(const CatalogReadOnce&) = delete;

 private:
  ZyVMConverter& converter_;
};

// The guest OS the request names (InitVMConversion records the one the
// user gave there) stands over the configuration file's.
void TakeRequestedOS(const VMInfoStructs::SVMInfo& request,
                     VMInfoStructs::SVMInfo& description) {
  if (request.strGuestOS.empty()) return;
  description.strGuestOS = request.strGuestOS;
  const std::string& family = request.guestOSInfo.OSType;
  if (family.empty()) return;
  description.guestOSInfo.OSType = family;
  description.guestOSInfo.GuestOSName =
      FXString::CompareNoCase(family, "Windows") == 0 ? "Windows" : "Linux";
}

void CopyResultsBack(const RestoreCtx& copy, RestoreCtx& request) {
  if (&copy == &request) return;
  request.strVMId = copy.strVMId;
  request.strResultInfo = copy.strResultInfo;
  request.bResultFlag = copy.bResultFlag;
  request.nResultValue = copy.nResultValue;
  request.strResultDetail = copy.strResultDetail;
  request.vDisks = copy.vDisks;
  request.vmInfo = copy.vmInfo;
  request.vmInfo.vDiskControllers = copy.vmInfo.vDiskControllers;
  request.vFailures = copy.vFailures;
}

}  // namespace

CQiError ZyVMConverter::CompleteVMConversion(
    VirtualServerInstanceType source, VirtualServerInstanceType destination,
    IVMInfo* vmInfo, RestoreCtx& request) {
  // The access object is lent by the agent.  One this converter created
  // itself is released first, so that it is not lost and the lent one is
  // never released in its place.
  const bool same = pDestVMInfo == vmInfo;
  if (bOwnsDestVMInfo && !same) CleanupVMInfo(pDestVMInfo);
  bOwnsDestVMInfo = bOwnsDestVMInfo && same;
  pDestVMInfo = vmInfo;
  eDestInstType = destination;
  eSourceInstType = source;
  restoreCtx = request;
  bDestVMFlag = request.bRequestFlagA;
  RestoreCtx& copy = restoreCtx;

  if (zykinds::Has(destination, zykinds::kCloud) && request.bMarkOSDisk &&
      request.nRestoreType == kRestoreTypeConversion)
    MarkFirstRestoredDiskAsOSDisk(*this, copy.vDisks);

  const std::vector<VMInfoStructs::SVMNetworkCard> networkCards =
      copy.vNetworkCards;
  const std::string folder =
      zykinds::Has(destination, zykinds::kRestoresIntoDestinationFolder)
          ? copy.strDestinationPath
          : copy.strStagingPath;

  VMInfoStructs::SVMInfo description;
  for (const auto& file : copy.vDisks) {
    if (!IsGeneralizedConfig(file)) continue;
    const std::string path = FXPath::Append(folder, file.diskIndexName, 0);
    Log(kFn, 0, "Converting Generalized config file [%s] [%s]",
        file.strDisplayName.c_str(), path.c_str());
    if (!ConvertConfigFile(path, description)) {
      Log(kFn, -1, "Failed to convert config file");
      return FXErrorUtil::ErrorVS(Here(__LINE__), 2,
                                  "Failed to convert VM configuration file");
    }
    break;
  }

  const RestoredDiskIndex index =
      ConvertOtherFiles(*this, copy.vDisks, folder, description);

  Log(kFn, 1, "Name: %s\t\tGuid: %s\n", description.strVMName.c_str(),
      description.strGUID.c_str());
  Log(kFn, 1, "GuestOS: %s\n", description.strGuestOS.c_str());
  Log(kFn, 1, "Memory: %d    CPUs: %d\n",
      static_cast<int>(description.i64MemoryMB),
      static_cast<int>(description.i64NumCPUs));

  if (!copy.strVMName.empty()) description.strVMName = copy.strVMName;
  if (!copy.strDestinationPath.empty()) {
    description.strDestinationPath = copy.strDestinationPath;
    strDestVMPath = copy.strDestinationPath;
  }
  description.nClientId = copy.vmInfo.nClientId;
  TakeRequestedOS(copy.vmInfo, description);
  if (description.strGUID.empty()) description.strGUID = copy.strSourceVMGUID;
  if (description.vDiskControllers.empty())
    description.vDiskControllers = request.vmInfo.vDiskControllers;
  copy.vmInfo = description;
  copy.vmInfo.vDiskControllers = description.vDiskControllers;

  if (source == VS_ORACLE_VM)
    CopyOracleVMOSMarks(copy.vmInfo.vDisks, copy.vDisks);

  DiskList disks;
  {
    CatalogReadOnce catalogScope(*this);
    if (!BuildDestinationDisks(*this, source, destination, copy, index, disks))
      return FXErrorUtil::ErrorVS(Here(__LINE__), 1);
  }
  copy.vmInfo.vDisks = disks;

  if (zykinds::Has(destination, zykinds::kTakesRequestedNetworkCards))
    copy.vmInfo.vNetworkCards = networkCards;

  const bool finalized = FinalizeDestinationVM();
  CopyResultsBack(copy, request);

  if (finalized) {
    Log(kFn, 0, "VM is converted successfully, VM name [%s] Vm Id [%s]",
        copy.strVMName.c_str(), copy.strVMId.c_str());
    return CQiError::Success();
  }
  const std::string text =
      pDestVMInfo != nullptr ? pDestVMInfo->GetLastErrorText() : std::string();
  Log(kFn, -1, "Failed to convert VM [%s], GUID [%s]",
      copy.strSourceVMName.c_str(), copy.strSourceVMGUID.c_str());
  if (text.empty()) return FXErrorUtil::ErrorVS(Here(__LINE__), 1);
  return FXErrorUtil::ErrorVS(Here(__LINE__), 1, "%s", text.c_str());
}
