//===- ZyVMConverterDiskNaming.cpp - Destination disk naming --------------===//
//
// The naming pass gives every disk of a restore its destination name,
// format, provisioning type, controller and size, by destination kind
// (kNamingRules).  Positions count disks only: configuration-file entries
// of the list are passed over and do not count.  The base name of a disk is
// the name itself at position 0 and "<name>_<position>" after that.
//
//   kind           name                                  format  also
//   101 VMware     <VM name base>.vmdk                   18      OS disk
//                                                                controller
//   102 Hyper-V    <VM name base>.vhd                    12
//   301 Amazon     <identifier base>.vhdx                24      whole GiB
//   401-403 Azure  kept                                  kept    whole GiB
//   501 RHEV       <VM name>_Disk<position + 1>          25      controller
//   601 Nutanix    display name without extension        28      controller
//   701, 801       display name without extension        29, 30
//   901 OpenStack  new name without extension            32      controller,
//                                                                whole GiB
//   1101           from the display or VMware index name 33
//   1102           kept                                  33
//   1301           <VM name>-<position>, lower case      34      whole GiB
//   1401           kept                                  35      >= 20 GiB
//
// Also here: choosing the OS disk when the backup marks none, moving a
// written disk file to a free name next to the VM, and the catalog look-up
// of disk names in a VMware backup.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include "model/PlatformKinds.h"
#include "formats/vmx/VMXFile.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <cerrno>
#include <cstdint>
#include <limits>
#include <regex>

using VMInfoStructs::SDisk;

namespace {

const char kUpdateDiskNames[] =
    "void ZyVMConverter::UpdateDiskNames(std::vector<VMInfoStructs::SDisk>&, "
    "const string&, const string&, VirtualServerInstanceType, "
    "VirtualServerInstanceType, bool)";
const char kSetOSDiskIfNotSet[] =
    "void ZyVMConverter::SetOSDiskIfNotSet(std::vector<VMInfoStructs::SDisk>&, "
    "const VirtualServerInstanceType&, const VirtualServerInstanceType&, bool)";
const char kUpdateDestinationDisk[] =
    "bool ZyVMConverter::UpdateDestinationDisk(const VMInfoStructs::SDisk&, "
    "VMInfoStructs::SDisk&)";
const char kUpdateToUniqueDiskName[] =
    "bool ZyVMConverter::UpdateToUniqueDiskName(VMInfoStructs::SDisk&)";
const char kGetDisknameFromCatalog[] =
    "bool ZyVMConverter::GetDisknameFromCatalog(string, const char*, string&)";

constexpr int64_t kGiB = int64_t{1} << 30;
constexpr int64_t kSmallest1401Disk = 20 * kGiB;
// Candidates tried for a free disk file name before giving up.
constexpr int kMaxUniqueNameCandidates = 10000;
// A name longer than this cannot be an index name, and would exhaust the
// regex engine's stack, which recurses once per character.
constexpr size_t kMaxIndexNameLength = 1024;

bool IsDisk(const SDisk& entry) {
  return entry.nFileType == VMInfoStructs::kFileTypeDisk;
}

// The name at position 0, "<name>_<position>" after that.
std::string BaseName(const std::string& name, int position) {
  if (position == 0) return name;
  return FXString::Format("%s_%d", name.c_str(), position);
}

// Where the extension of a file name starts: its last "." within the last
// path component, or npos.  A dot in a folder name is not an extension.
size_t ExtensionStart(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return dot;
  size_t separator = name.find_last_of("/\\");
  if (separator != std::string::npos && separator > dot)
    return std::string::npos;
  return dot;
}

// Everything a destination rule may need besides the disk itself.
struct NamingPass {
  ZyVMConverter& converter;
  std::vector<SDisk>& disks;
  const std::string& idName;
  const std::string& vmName;
  VirtualServerInstanceType destination;
  VirtualServerInstanceType source;

  // Replaces the extension of field by the one of the disk's new format.
  void ReplaceExtension(std::string& field, int32_t format) {
    std::string extension =
        converter.GetDestinationDiskExtension(static_cast<DiskType_t>(format));
    size_t dot = ExtensionStart(field);
    if (dot != std::string::npos)
      field.replace(dot, std::string::npos, extension);
  }

  void LogNewName(const std::string& name) {
    converter.Log(kUpdateDiskNames, 0, "Disk name is changed to [%s]",
                  name.c_str());
  }
};

// Guests from the kinds that boot from SCSI (Amazon, 1301, Nutanix) keep
// the OS disk on SCSI in VMware; guests from anywhere else boot from IDE.
void NameVMwareDisk(NamingPass& pass, SDisk& disk, int position) {
  if (disk.isOSDisk)
    disk.strControllerType =
        zykinds::Has(pass.source, zykinds::kBootsFromScsi) ? "scsi" : "ide";
  std::string name = BaseName(pass.vmName, position);
  // The provisioning follows the format the disk was backed up in.
  if (disk.eProvisioningType == 0)
    disk.eProvisioningType =
        ZyVMConverter::DetermineDestinationDiskProvisioningType(
            static_cast<DiskType_t>(disk.eDiskType));
  disk.eDiskType = DT_VMDK;
  name += ".vmdk";
  disk.strDisplayName = name;
  pass.LogNewName(name);
  disk.fileName = name;
  disk.strMatchName = name;
}

void NameHyperVDisk(NamingPass& pass, SDisk& disk, int position) {
  std::string name = BaseName(pass.vmName, position);
  disk.eDiskType = DT_HYPERV_VHD;
  name += ".vhd";
  disk.strDisplayName = name;
  pass.LogNewName(name);
  disk.newDiskName = name;
  disk.fileName = name;
}

void NameAmazonDisk(NamingPass& pass, SDisk& disk, int position) {
  std::string name = BaseName(pass.idName, position);
  disk.eDiskType = DT_AMAZON;
  name += ".vhdx";
  disk.strDisplayName = name;
  pass.LogNewName(name);
  disk.strTargetName = disk.newDiskName;
  pass.converter.RoundUpDiskSizeToNearestGB(disk);
}

void SizeAzureDisk(NamingPass& pass, SDisk& disk, int) {
  pass.converter.RoundUpDiskSizeToNearestGB(disk);
}

void NameRhevDisk(NamingPass& pass, SDisk& disk, int position) {
  pass.converter.Debug(
      kUpdateDiskNames,
      "Disk display name [%s], fileName [%s], eDiskType [%d], max size "
      "[%lld], isOSDisk [%d]",
      disk.strDisplayName.c_str(), disk.fileName.c_str(), disk.eDiskType,
      static_cast<long long>(disk.i64MaxSizeInBytes), disk.isOSDisk ? 1 : 0);
  disk.strControllerType = pass.converter.GetRhevControllerType(position);
  disk.eDiskType = DT_RHEV;
  disk.bProvisionFlag = true;
  disk.eProvisioningType = 2;
  disk.newDiskName =
      FXString::Format("%s_Disk%d", pass.vmName.c_str(), position + 1);
}

void NameNutanixDisk(NamingPass& pass, SDisk& disk, int position) {
  disk.eDiskType = DT_NUTANIX;
  pass.ReplaceExtension(disk.strDisplayName, disk.eDiskType);
  disk.strControllerType = pass.converter.GetNutanixControllerType(
      position, pass.source, disk.strControllerType);
}

void NameOracleVMDisk(NamingPass& pass, SDisk& disk, int) {
  disk.eDiskType = DT_ORACLE_VM;
  pass.ReplaceExtension(disk.strDisplayName, disk.eDiskType);
}

void NameKind801Disk(NamingPass& pass, SDisk& disk, int) {
  disk.eDiskType = DT_KIND_801;
  pass.ReplaceExtension(disk.strDisplayName, disk.eDiskType);
}

void NameOpenStackDisk(NamingPass& pass, SDisk& disk, int) {
  disk.eDiskType = DT_OPENSTACK;
  if (disk.newDiskName.empty()) disk.newDiskName = disk.strDisplayName;
  pass.ReplaceExtension(disk.newDiskName, disk.eDiskType);
  disk.strControllerType =
      pass.converter.GetOpenStackControllerType(pass.disks);
  pass.converter.Log(kUpdateDiskNames, 0,
                     "Controller type set as [%s] to disk [%s]",
                     disk.strControllerType.c_str(), disk.newDiskName.c_str());
  pass.converter.RoundUpDiskSizeToNearestGB(disk);
}

// A VMware index name: controller word ending in the bus digit, the slot
// digit, the backed-up file name and ".vmdk", as in scsi0-1-web_1.vmdk.
// On a match, newName becomes "<file name>_<slot>".
bool ParseVMwareIndexName(const std::string& indexName, std::string& newName) {
  if (indexName.size() > kMaxIndexNameLength) return false;
  try {
    static const std::regex pattern(R"((\w+)(\d)\-(\d)\-([\w]+.*)(\.vmdk))",
                                    std::regex::ECMAScript);
    std::smatch match;
    if (!std::regex_match(indexName, match, pattern)) return false;
    int slot = match.str(3)[0] - '0';
    newName = FXString::Format("%s_%d", match.str(4).c_str(), slot);
    return true;
  } catch (const std::exception&) {
    // The engine gave up on the text (complexity or memory): not an index
    // name we can use.
    return false;
  }
}

void NameKind1101Disk(NamingPass& pass, SDisk& disk, int position) {
  disk.eDiskType = DT_KIND_1101;
  if (disk.strDisplayName.empty())
    disk.strDisplayName =
        FXString::Format("%s_%d", pass.vmName.c_str(), position);
  if (disk.newDiskName.empty()) disk.newDiskName = disk.strDisplayName;
  pass.ReplaceExtension(disk.newDiskName, disk.eDiskType);
  if (pass.source == VS_VMWARE &&
      !ParseVMwareIndexName(disk.diskIndexName, disk.newDiskName))
    pass.converter.Error(kUpdateDiskNames,
                         "Unable to parse disk with index name [%s],",
                         disk.diskIndexName.c_str());
  pass.converter.DebugLvl(
      kUpdateDiskNames, 2,
      "sourceInstType=[%d] diskIndexName=[%s] newDiskName=[%s] isOSDisk=[%d]",
      static_cast<int>(pass.source), disk.diskIndexName.c_str(),
      disk.newDiskName.c_str(), disk.isOSDisk ? 1 : 0);
}

void FormatKind1102Disk(NamingPass&, SDisk& disk, int) {
  disk.eDiskType = DT_KIND_1101;
}

void NameKind1301Disk(NamingPass& pass, SDisk& disk, int position) {
  disk.eDiskType = DT_KIND_1301;
  disk.strPlatformRef1.clear();
  disk.strPlatformRef2.clear();
  if (disk.newDiskName.empty()) {
    disk.newDiskName = FXString::ToLower(
        FXString::Format("%s-%d", pass.vmName.c_str(), position));
    pass.converter.Log(kUpdateDiskNames, 0,
                       "Disk [%s] will be restored as [%s\\%s]",
                       disk.strDisplayName.c_str(), pass.vmName.c_str(),
                       disk.newDiskName.c_str());
  }
  pass.converter.RoundUpDiskSizeToNearestGB(disk);
}

// Every 1401 disk is at least 20 GiB and a whole number of GiB, sized from
// the larger of its two sizes.
void SizeKind1401Disk(NamingPass& pass, SDisk& disk, int) {
  pass.converter.Debug(
      kUpdateDiskNames,
      "Disk display name [%s], fileName [%s], eDiskType [%d], "
      "i64MaxSizeInBytes [%llu], i64CurrSizeInBytes [%llu]  isOSDisk [%d]",
      disk.strDisplayName.c_str(), disk.fileName.c_str(), disk.eDiskType,
      static_cast<unsigned long long>(disk.i64MaxSizeInBytes),
      static_cast<unsigned long long>(disk.i64CurrSizeInBytes),
      disk.isOSDisk ? 1 : 0);
  disk.eDiskType = DT_KIND_1401;
  int64_t size = disk.i64CurrSizeInBytes > disk.i64MaxSizeInBytes
                     ? disk.i64CurrSizeInBytes
                     : disk.i64MaxSizeInBytes;
  // A negative size is no size at all; it gets the smallest disk.
  if (size < 0) size = 0;
  disk.i64MaxSizeInBytes = disk.i64CurrSizeInBytes = size;

  int64_t wholeGiB = size / kGiB;
  int64_t newSize = size;
  if (size < kSmallest1401Disk)
    newSize = kSmallest1401Disk;
  else if (size % kGiB != 0 &&
           wholeGiB < std::numeric_limits<int64_t>::max() / kGiB)
    newSize = (wholeGiB + 1) * kGiB;
  // The largest sizes cannot be rounded up and stay as they are.
  if (newSize == size) return;
  disk.i64MaxSizeInBytes = disk.i64CurrSizeInBytes = newSize;
  pass.converter.Debug(kUpdateDiskNames,
                       "Disk size is set to [%llu] bytes from [%llu] bytes",
                       static_cast<unsigned long long>(newSize),
                       static_cast<unsigned long long>(size));
}

using NamingRule = void (*)(NamingPass&, SDisk&, int position);

struct NamingRow {
  VirtualServerInstanceType destination;
  NamingRule rule;
};

// clang-format off
constexpr NamingRow kNamingRules[] = {
    {VS_VMWARE, NameVMwareDisk},
    {VS_HYPERV, NameHyperVDisk},
    {VS_AMAZON, NameAmazonDisk},
    {VS_AZURE_1, SizeAzureDisk},
    {VS_AZURE_2, SizeAzureDisk},
    {VS_AZURE_3, SizeAzureDisk},
    {VS_RHEV, NameRhevDisk},
    {VS_NUTANIX, NameNutanixDisk},
    {VS_ORACLE_VM, NameOracleVMDisk},
    {VS_KIND_801, NameKind801Disk},
    {VS_OPENSTACK, NameOpenStackDisk},
    {VS_KIND_1101, NameKind1101Disk},
    {VS_KIND_1102, FormatKind1102Disk},
    {VS_KIND_1301, NameKind1301Disk},
    {VS_KIND_1401, SizeKind1401Disk},
};
// clang-format on

NamingRule FindNamingRule(VirtualServerInstanceType destination) {
  for (const auto& row : kNamingRules)
    if (row.destination == destination) return row.rule;
  return nullptr;
}

// These destinations boot from the OS disk once it is marked; 1101 only
// for a platform conversion.
bool BootsFromOSDisk(VirtualServerInstanceType destination,
                     bool platformConversion, bool rhevToo) {
  if (destination == VS_OPENSTACK) return true;
  if (destination == VS_RHEV) return rhevToo;
  return destination == VS_KIND_1101 && platformConversion;
}

// Leading decimal digits of text, saturating; false when it does not start
// with a digit.
bool ReadLeadingNumber(const std::string& text, uint64_t& number) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (number > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
      number = std::numeric_limits<uint64_t>::max();
      break;
    }
    number = number * 10 + digit;
  }
  return true;
}

// Nutanix display names read "<bus>-<number>" (scsi-0, ide-1).  The OS disk
// is the lowest-numbered disk on IDE, else on SCSI, else on SATA.
SDisk* ChooseNutanixOSDisk(std::vector<SDisk>& disks) {
  static constexpr const char* kBusPreference[] = {"ide", "scsi", "sata"};
  SDisk* chosen[3] = {nullptr, nullptr, nullptr};
  uint64_t lowest[3] = {0, 0, 0};
  for (auto& disk : disks) {
    if (!IsDisk(disk)) continue;
    size_t dash = disk.strDisplayName.find('-');
    if (dash == std::string::npos) continue;
    uint64_t number = 0;
    if (!ReadLeadingNumber(disk.strDisplayName.substr(dash + 1), number))
      continue;
    std::string bus = disk.strDisplayName.substr(0, dash);
    for (int i = 0; i < 3; ++i) {
      if (bus != kBusPreference[i]) continue;
      // On equal numbers the earlier disk stays.
      if (!chosen[i] || number < lowest[i]) {
        chosen[i] = &disk;
        lowest[i] = number;
      }
    }
  }
  for (SDisk* disk : chosen)
    if (disk) return disk;
  return nullptr;
}

}  // namespace

void ZyVMConverter::UpdateDiskNames(std::vector<SDisk>& disks,
                                    const std::string& idName,
                                    const std::string& vmName,
                                    VirtualServerInstanceType destination,
                                    VirtualServerInstanceType source,
                                    bool platformConversion) {
  SetOSDiskIfNotSet(disks, source, destination, platformConversion);
  Log(kUpdateDiskNames, 0, "Renaming disks based on VM name");
  NamingPass pass{*this, disks, idName, vmName, destination, source};
  NamingRule rule = FindNamingRule(destination);
  int position = 0;
  for (auto& disk : disks) {
    if (!IsDisk(disk)) continue;
    if (disk.isOSDisk)
      Debug(kUpdateDiskNames, "Disk [%s] is set as OS Disk",
            disk.strDisplayName.c_str());
    if (rule) rule(pass, disk, position);
    ++position;
  }
}

void ZyVMConverter::SetOSDiskIfNotSet(
    std::vector<SDisk>& disks, const VirtualServerInstanceType& source,
    const VirtualServerInstanceType& destination, bool platformConversion) {
  for (auto& entry : disks) {
    if (!entry.isOSDisk) continue;
    if (BootsFromOSDisk(destination, platformConversion, true))
      entry.isBootDisk = true;
    return;
  }

  if (source == VS_NUTANIX) {
    SDisk* osDisk = ChooseNutanixOSDisk(disks);
    if (osDisk) osDisk->isOSDisk = true;
    Debug(kSetOSDiskIfNotSet, "Disk [%s] is set as default OS Disk",
          osDisk ? osDisk->strDisplayName.c_str() : "");
    if (osDisk) return;
  }

  for (auto& disk : disks) {
    if (!IsDisk(disk)) continue;
    disk.isOSDisk = true;
    Debug(kSetOSDiskIfNotSet, "Disk [%s] is set as default OS Disk",
          disk.strDisplayName.c_str());
    // A disk chosen here does not become RHEV's boot disk.
    if (BootsFromOSDisk(destination, platformConversion, false))
      disk.isBootDisk = true;
    return;
  }
}

bool ZyVMConverter::UpdateDestinationDisk(const SDisk& source,
                                          SDisk& destination) {
  destination.eDiskType = DetermineDestinationDiskType(eDestInstType);
  CorrectDiskExtension(destination);
  destination.i64CurrSizeInBytes = source.i64CurrSizeInBytes;
  if (!UpdateToUniqueDiskName(destination)) {
    Log(kUpdateDestinationDisk, -1,
        "Failed to generate unique disk name for disk [%s]",
        destination.fileName.c_str());
    return false;
  }
  return true;
}

bool ZyVMConverter::UpdateToUniqueDiskName(SDisk& disk) {
  size_t dot = ExtensionStart(disk.fileName);
  if (dot == std::string::npos) {
    Log(kUpdateToUniqueDiskName, -1,
        "Failed to get disk file extension from source file name [%s]",
        disk.fileName.c_str());
    return false;
  }
  const std::string extension = disk.fileName.substr(dot);
  const std::string& vmName = restoreCtx.strVMName;

  for (int n = 0; n < kMaxUniqueNameCandidates; ++n) {
    std::string name =
        n == 0 ? vmName : FXString::Format("%s_%d", vmName.c_str(), n);
    // The extension joins the name before the folder does, so an empty VM
    // name still gives a file inside the folder.
    std::string candidate =
        FXPath::Append(disk.strDatastore, name + extension, 0);
    if (FXPath::DoesPathExist(candidate)) continue;

    Log(kUpdateToUniqueDiskName, 0,
        "Generated disk file name for disk [%s] is [%s]",
        disk.strDisplayName.c_str(), candidate.c_str());
    // The move never replaces a file: another writer may have taken the
    // name since it was tested, and then the next candidate is tried.
    CQiError moved = FXFile::ZyMoveFileEx(disk.fileName, candidate,
                                          ZY_MOVEFILE_COPY_ALLOWED);
    if (!moved.IsError()) {
      Log(kUpdateToUniqueDiskName, 5,
          "Disk file is renamed to [%s] in destination machine",
          candidate.c_str());
      disk.fileName = candidate;
      return true;
    }
    if (FXErrorUtil::SystemErrorNumber(moved) == EEXIST) continue;
    Log(kUpdateToUniqueDiskName, -1, "Failed to rename disk file, error [%d]",
        moved.GetErrorCode());
    return false;
  }
  Log(kUpdateToUniqueDiskName, -1,
      "Failed to generate unique file path for disk");
  return false;
}

bool ZyVMConverter::GetDisknameFromCatalog(std::string folder,
                                           const char* catalogKey,
                                           std::string& name) {
  std::string key =
      std::string("disk") + (catalogKey ? catalogKey : "") + "diskname";
  const std::string path = CQiPath::Append(folder, std::string("catalog"));
  std::shared_ptr<const VMXFile> catalog = pCatalog;
  if (!bCacheCatalog || !catalog || strCatalogPath != path) {
    auto loaded = std::make_shared<VMXFile>();
    if (!loaded->LoadFile(path, false)) {
      Log(kGetDisknameFromCatalog, -1,
          "Failed to load VM configuration catalog file");
      return false;
    }
    catalog = loaded;
    if (bCacheCatalog) {
      pCatalog = catalog;
      strCatalogPath = path;
    }
  }
  name = catalog->GetValue(key);
  return true;
}
