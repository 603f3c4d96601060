//===- VMInfoStructs.h - Records that describe a virtual machine ----------===//
//
// One SVMInfo describes a VM on every platform and at every step of a
// conversion; the records it holds describe its disks, controllers, network
// adapters, guest OS, snapshots, files and options.
//
// Copy rules: records with text or container members copy through one member
// operation _Copy, used by both the copy constructor and operator=.  _Copy
// ignores self-assignment and assigns members one by one.  Two rules differ
// from a plain member-wise copy:
//   * SVMInfo::_Copy leaves vDiskControllers alone: a copied description
//     carries no disk controllers unless the caller sets them;
//   * SDisk::_Copy empties the target's vChildDisks and assigns the source's
//     list only when that is not empty.
// SVMOptionValue is a plain pair and copies member-wise.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VirtualServerTypes.h"
#include "model/ZyExport.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Declares the copy constructor and operator= of a record in terms of _Copy.
#define ZY_RECORD_COPY_OPS(T)         \
  T(const T& other) { _Copy(other); } \
  T& operator=(const T& other) {      \
    _Copy(other);                     \
    return *this;                     \
  }

namespace VMInfoStructs {

struct ZY_API SVMOptionValue {
  std::string strName;
  std::string strValue;
};

struct ZY_API SKeyPairInfo {
  std::string strName;
  std::string strFingerprint;

  SKeyPairInfo() = default;
  ZY_RECORD_COPY_OPS(SKeyPairInfo)
  void _Copy(const SKeyPairInfo& o) {
    if (this == &o) return;
    strName = o.strName;
    strFingerprint = o.strFingerprint;
  }
};

struct ZY_API SSecurityGroupInfo {
  std::string strGroupId;
  std::string strGroupName;

  SSecurityGroupInfo() = default;
  ZY_RECORD_COPY_OPS(SSecurityGroupInfo)
  void _Copy(const SSecurityGroupInfo& o) {
    if (this == &o) return;
    strGroupId = o.strGroupId;
    strGroupName = o.strGroupName;
  }
};

struct ZY_API SRoleInfo {
  std::string strName;
  std::string strId;

  SRoleInfo() = default;
  ZY_RECORD_COPY_OPS(SRoleInfo)
  void _Copy(const SRoleInfo& o) {
    if (this == &o) return;
    strName = o.strName;
    strId = o.strId;
  }
};

struct ZY_API SVMOwnerInfo {
  std::string strName;
  std::string strId;

  SVMOwnerInfo() = default;
  ZY_RECORD_COPY_OPS(SVMOwnerInfo)
  void _Copy(const SVMOwnerInfo& o) {
    if (this == &o) return;
    strName = o.strName;
    strId = o.strId;
  }
};

struct ZY_API SFCAdapterInfo {
  std::string strWWNN;
  std::string strWWPN;

  SFCAdapterInfo() = default;
  ZY_RECORD_COPY_OPS(SFCAdapterInfo)
  void _Copy(const SFCAdapterInfo& o) {
    if (this == &o) return;
    strWWNN = o.strWWNN;
    strWWPN = o.strWWPN;
  }
};

// A delta disk stacked on a disk.
struct ZY_API SChildDisk {
  std::string strFileName;
  int32_t eDiskType = 0;
  int64_t i64MaxSizeInBytes = 0;
  int64_t i64CurrSizeInBytes = 0;
  std::string strSnapshotId;

  SChildDisk() = default;
  ZY_RECORD_COPY_OPS(SChildDisk)
  void _Copy(const SChildDisk& o) {
    if (this == &o) return;
    strFileName = o.strFileName;
    eDiskType = o.eDiskType;
    i64MaxSizeInBytes = o.i64MaxSizeInBytes;
    i64CurrSizeInBytes = o.i64CurrSizeInBytes;
    strSnapshotId = o.strSnapshotId;
  }
};

// A snapshot and the snapshots taken after it.
struct ZY_API SSnapshot {
  std::string strName;
  std::string strId;
  std::string strDescription;
  int64_t i64CreateTime = 0;
  std::vector<SSnapshot> vChildren;

  SSnapshot() = default;
  ZY_RECORD_COPY_OPS(SSnapshot)
  void _Copy(const SSnapshot& o) {
    if (this == &o) return;
    strName = o.strName;
    strId = o.strId;
    strDescription = o.strDescription;
    i64CreateTime = o.i64CreateTime;
    vChildren = o.vChildren;
  }
};

// What an entry of a disk list or a mount listing is (nFileType), and what
// kind of drive a disk is (SDisk::nDeviceType).
constexpr int32_t kFileTypeConfig = 0;  // a configuration file
constexpr int32_t kFileTypeDisk = 1;    // a disk image
constexpr int32_t kFileTypeOther = 2;   // any other file of a mount
constexpr int32_t kDeviceTypeHardDisk = 1;
constexpr int32_t kDeviceTypeCdrom = 2;

// One file of a VM as laid out on its datastore.
struct ZY_API SVMFile {
  std::string strFileName;
  int64_t i64Size = 0;
  int32_t nFileType = kFileTypeConfig;  // kFileType*
  std::map<std::string, std::string> properties;

  SVMFile() = default;
  ZY_RECORD_COPY_OPS(SVMFile)
  void _Copy(const SVMFile& o) {
    if (this == &o) return;
    strFileName = o.strFileName;
    i64Size = o.i64Size;
    nFileType = o.nFileType;
    properties = o.properties;
  }
};

struct ZY_API SDisk {
  std::string fileName;
  int32_t eDiskType = DT_NONE;  // DiskType_t
  std::string strConfigDiskName;
  int64_t i64MaxSizeInBytes = 0;
  int64_t i64CurrSizeInBytes = 0;
  std::vector<SChildDisk> vChildDisks;
  std::string strControllerType;
  int32_t nBus = 0;
  int32_t nSlot = 0;
  std::string strTargetName;
  std::string strDatastore;
  int32_t eProvisioningType = 0;
  std::string diskIndexName;
  std::string strDisplayName;
  std::string strMatchName;
  std::string newDiskName;
  int32_t nFileType = kFileTypeDisk;          // kFileType*
  int32_t nDeviceType = kDeviceTypeHardDisk;  // kDeviceType*
  bool isOSDisk = false;
  std::string strPlatformRef1;
  bool bProvisionFlag = false;
  std::string strPlatformRef2;
  bool isBootDisk = false;
  std::string strName;

  SDisk() = default;
  ZY_RECORD_COPY_OPS(SDisk)
  void _Copy(const SDisk& o) {
    if (this == &o) return;
    fileName = o.fileName;
    eDiskType = o.eDiskType;
    strConfigDiskName = o.strConfigDiskName;
    i64MaxSizeInBytes = o.i64MaxSizeInBytes;
    i64CurrSizeInBytes = o.i64CurrSizeInBytes;
    vChildDisks.clear();
    if (!o.vChildDisks.empty()) vChildDisks = o.vChildDisks;
    strControllerType = o.strControllerType;
    nBus = o.nBus;
    nSlot = o.nSlot;
    strTargetName = o.strTargetName;
    strDatastore = o.strDatastore;
    eProvisioningType = o.eProvisioningType;
    diskIndexName = o.diskIndexName;
    strDisplayName = o.strDisplayName;
    strMatchName = o.strMatchName;
    newDiskName = o.newDiskName;
    nFileType = o.nFileType;
    nDeviceType = o.nDeviceType;
    isOSDisk = o.isOSDisk;
    strPlatformRef1 = o.strPlatformRef1;
    bProvisionFlag = o.bProvisionFlag;
    strPlatformRef2 = o.strPlatformRef2;
    isBootDisk = o.isBootDisk;
    strName = o.strName;
  }
};

struct ZY_API SFilelayout {
  std::vector<SDisk> vDisks;
  std::vector<SVMFile> vFiles;

  SFilelayout() = default;
  ZY_RECORD_COPY_OPS(SFilelayout)
  void _Copy(const SFilelayout& o) {
    if (this == &o) return;
    vDisks = o.vDisks;
    vFiles = o.vFiles;
  }
};

struct ZY_API SVMDiskController {
  std::string strName;  // "scsi", "ide", ...
  int32_t nBusNumber = 0;
  std::string strControllerType;  // controller model
  bool bShared = false;

  SVMDiskController() = default;
  ZY_RECORD_COPY_OPS(SVMDiskController)
  void _Copy(const SVMDiskController& o) {
    if (this == &o) return;
    strName = o.strName;
    nBusNumber = o.nBusNumber;
    strControllerType = o.strControllerType;
    bShared = o.bShared;
  }
};

struct ZY_API SVMNetworkCard {
  std::string strName;
  std::string strNetworkName;
  std::string strMacAddress;
  std::string strNetworkId;
  std::string strInterfaceDetail;
  std::string strAdapterType;
  std::string strProtocolValue;
  bool bConnected = true;
  bool bLegacyAdapter = false;
  int32_t nInterfaceValue = 0;
  int64_t i64Speed = 0;
  int64_t i64Mtu = 0;
  std::string strSubnet;
  bool bDhcp = false;
  int16_t nVlanId = 0;
  int16_t nPriority = 0;
  std::string strProtocolAddress;
  std::string strGateway;
  bool bPrimary = false;

  SVMNetworkCard() = default;
  ZY_RECORD_COPY_OPS(SVMNetworkCard)
  void _Copy(const SVMNetworkCard& o) {
    if (this == &o) return;
    strName = o.strName;
    strNetworkName = o.strNetworkName;
    strMacAddress = o.strMacAddress;
    strNetworkId = o.strNetworkId;
    strInterfaceDetail = o.strInterfaceDetail;
    strAdapterType = o.strAdapterType;
    strProtocolValue = o.strProtocolValue;
    bConnected = o.bConnected;
    bLegacyAdapter = o.bLegacyAdapter;
    nInterfaceValue = o.nInterfaceValue;
    i64Speed = o.i64Speed;
    i64Mtu = o.i64Mtu;
    strSubnet = o.strSubnet;
    bDhcp = o.bDhcp;
    nVlanId = o.nVlanId;
    nPriority = o.nPriority;
    strProtocolAddress = o.strProtocolAddress;
    strGateway = o.strGateway;
    bPrimary = o.bPrimary;
  }
};

struct ZY_API SGuestOSInfo {
  int32_t nOSFlags = 0;
  std::string OSType;   // "Windows" or "Unix" once known
  std::string CPUArch;  // "x64", "x86", or "Any"
  std::string strOSEdition;
  std::string GuestOSName;
  std::string strOSFamily;
  std::string OSVersion;

  SGuestOSInfo() = default;
  ZY_RECORD_COPY_OPS(SGuestOSInfo)
  void _Copy(const SGuestOSInfo& o) {
    if (this == &o) return;
    nOSFlags = o.nOSFlags;
    OSType = o.OSType;
    CPUArch = o.CPUArch;
    strOSEdition = o.strOSEdition;
    GuestOSName = o.GuestOSName;
    strOSFamily = o.strOSFamily;
    OSVersion = o.OSVersion;
  }
};

// One instance size offered by a cloud region.
struct ZY_API SVMSizeInfo {
  std::string strFamily;
  std::string strInstanceType;
  int32_t nNumCPUs = 0;
  int32_t nNumGPUs = 0;
  int32_t nMemoryMB = 0;
  int32_t nMaxDataDisks = 0;
  bool bSupports32Bit = false;
  bool bCurrentGeneration = false;
  std::string strProcessorArch;
  std::string strDescription;

  SVMSizeInfo() = default;
  ZY_RECORD_COPY_OPS(SVMSizeInfo)
  void _Copy(const SVMSizeInfo& o) {
    if (this == &o) return;
    strFamily = o.strFamily;
    strInstanceType = o.strInstanceType;
    nNumCPUs = o.nNumCPUs;
    nNumGPUs = o.nNumGPUs;
    nMemoryMB = o.nMemoryMB;
    nMaxDataDisks = o.nMaxDataDisks;
    bSupports32Bit = o.bSupports32Bit;
    bCurrentGeneration = o.bCurrentGeneration;
    strProcessorArch = o.strProcessorArch;
    strDescription = o.strDescription;
  }
};

struct ZY_API SVMInfo {
  std::string strVMName;
  std::string strGuestOS;
  std::string strGUID;
  std::string strDestinationPath;
  std::string strVMPath;
  std::string strDatastore;
  std::string strRegion;
  std::string strPrimaryInterfaceName;
  std::string strBootFirmware;
  std::string strDestinationHost;
  int32_t nClientId = 0;
  std::vector<SSnapshot> vSnapshots;
  std::vector<SDisk> vDisks;
  std::vector<SVMDiskController> vDiskControllers;  // never copied by _Copy
  std::vector<SVMNetworkCard> vNetworkCards;
  SFilelayout fileLayout;
  int64_t i64NumCPUs = 0;
  int64_t i64MemoryMB = -1;  // -1: unknown
  int64_t i64HardwareValueA = 0;
  int64_t i64HardwareValueB = -1;
  bool bHardwareValuesSet = false;
  int64_t i64DiskCount = 0;
  int32_t nNumNetworkCards = 0;
  std::string strRequestText;
  std::vector<SVMOptionValue> vExtraOptions;
  std::vector<SKeyPairInfo> vKeyPairs;
  std::vector<SSecurityGroupInfo> vSecurityGroups;
  std::string strVMSize;
  std::vector<SVMOwnerInfo> vOwners;
  SGuestOSInfo guestOSInfo;
  std::vector<SFCAdapterInfo> vFCAdapters;

  SVMInfo() = default;
  ZY_RECORD_COPY_OPS(SVMInfo)
  void _Copy(const SVMInfo& o) {
    if (this == &o) return;
    strVMName = o.strVMName;
    strGuestOS = o.strGuestOS;
    strGUID = o.strGUID;
    strDestinationPath = o.strDestinationPath;
    strVMPath = o.strVMPath;
    strDatastore = o.strDatastore;
    strRegion = o.strRegion;
    strPrimaryInterfaceName = o.strPrimaryInterfaceName;
    strBootFirmware = o.strBootFirmware;
    strDestinationHost = o.strDestinationHost;
    nClientId = o.nClientId;
    vSnapshots = o.vSnapshots;
    vDisks = o.vDisks;
    vNetworkCards = o.vNetworkCards;
    fileLayout = o.fileLayout;
    i64NumCPUs = o.i64NumCPUs;
    i64MemoryMB = o.i64MemoryMB;
    i64HardwareValueA = o.i64HardwareValueA;
    i64HardwareValueB = o.i64HardwareValueB;
    bHardwareValuesSet = o.bHardwareValuesSet;
    i64DiskCount = o.i64DiskCount;
    nNumNetworkCards = o.nNumNetworkCards;
    strRequestText = o.strRequestText;
    vExtraOptions = o.vExtraOptions;
    vKeyPairs = o.vKeyPairs;
    vSecurityGroups = o.vSecurityGroups;
    strVMSize = o.strVMSize;
    vOwners = o.vOwners;
    guestOSInfo = o.guestOSInfo;
    vFCAdapters = o.vFCAdapters;
  }
};

// One network of a host.
struct ZY_API SNetworkInfo {
  std::string strName;
  std::string strId;
  std::string strType;

  SNetworkInfo() = default;
  ZY_RECORD_COPY_OPS(SNetworkInfo)
  void _Copy(const SNetworkInfo& o) {
    if (this == &o) return;
    strName = o.strName;
    strId = o.strId;
    strType = o.strType;
  }
};

struct ZY_API SDatastoreInfo {
  std::string strName;
  int64_t i64FreeBytes = 0;
  int64_t i64CapacityBytes = 0;

  SDatastoreInfo() = default;
  ZY_RECORD_COPY_OPS(SDatastoreInfo)
  void _Copy(const SDatastoreInfo& o) {
    if (this == &o) return;
    strName = o.strName;
    i64FreeBytes = o.i64FreeBytes;
    i64CapacityBytes = o.i64CapacityBytes;
  }
};

// One hypervisor host, as the host queries fill it.
struct ZY_API SHostInfo {
  std::string strHostName;
  std::string strVersion;
  int32_t nNumCPUs = 0;
  int32_t nState = -1;
  std::vector<SVMInfo> vVMs;
  std::vector<SDatastoreInfo> vDatastores;
  std::vector<SNetworkInfo> vNetworks;

  SHostInfo() = default;
  ZY_RECORD_COPY_OPS(SHostInfo)
  void _Copy(const SHostInfo& o) {
    if (this == &o) return;
    strHostName = o.strHostName;
    strVersion = o.strVersion;
    nNumCPUs = o.nNumCPUs;
    nState = o.nState;
    vVMs = o.vVMs;
    vDatastores = o.vDatastores;
    vNetworks = o.vNetworks;
  }
};

// What a mount produced for one machine: one SDisk per mounted file
// (nFileType 0 configuration file, 1 disk image).
struct ZY_API SMountInfoFull {
  std::string strVMName;
  std::string strVMGuid;
  std::vector<SDisk> vFiles;

  SMountInfoFull() = default;
  ZY_RECORD_COPY_OPS(SMountInfoFull)
  void _Copy(const SMountInfoFull& o) {
    if (this == &o) return;
    strVMName = o.strVMName;
    strVMGuid = o.strVMGuid;
    vFiles = o.vFiles;
  }
};

}  // namespace VMInfoStructs
