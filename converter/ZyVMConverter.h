//===- ZyVMConverter.h - The VM converter ---------------------------------===//
//
// ZyVMConverter converts one virtual machine's description (and, in the
// standalone path, its disks) from one platform kind to another.  A caller
// creates one converter per machine and drives it from one thread:
//
//   restore:    InitVMConversion, (writes disks), CompleteVMConversion,
//               optionally AdjustVMConfiguration
//   live mount: ConvertVMForLiveMount
//   standalone: SetSourceInstance, SetDestinationInstance, SetSourceVM,
//               SetDestinationVM, ConvertVM
//
// No operation throws.  Operations return bool (true for success) or, for
// the restore-time entry points and guest OS determination, a CQiError.
//
// The restore-time operations write their results (the filtered and renamed
// disk list, the settled guest OS, the completed description) into the
// restore context they are given, so they take it as RestoreCtx&.
//
// The converter owns the source access object it creates and the one
// InitializeDestinationVM creates; an access object lent by the caller is
// never released.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/Contexts.h"
#include "model/VMInfoStructs.h"
#include "model/VirtualServerTypes.h"
#include "model/ZyExport.h"
#include "platform/diskimage/CArchiveVirtualDiskFile.h"
#include "platform/support/CQiError.h"
#include "platform/support/EvDebug.h"
#include "platform/access/IVMInfo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class VMXFile;

class ZY_API ZyVMConverter : public EvEvent {
 public:
  ZyVMConverter();
  ~ZyVMConverter() override;
  ZyVMConverter(const ZyVMConverter&) = delete;
  ZyVMConverter& operator=(const ZyVMConverter&) = delete;

  // Logging: formats into 4096 bytes (cut at 4095 characters), prints the
  // message on standard output for level 0 or less, then hands it to
  // DebugLvl with the format "%s".
  void Log(const char* function, int level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));

  // Setters and source mounting.
  void SetSourceInstance(VirtualServerInstanceType type,
                         const std::string& host, const std::string& user,
                         const std::string& password);
  void SetDestinationInstance(VirtualServerInstanceType type,
                              const std::string& host, const std::string& user,
                              const std::string& password);
  void SetSourceVM(const std::string& name, const std::string& guid,
                   bool runOperation);
  void SetDestinationVM(const std::string& name, const std::string& guid,
                        const std::string& path, bool flag);
  bool PrepareVMInfo(IVMInfo*& vmInfo, VirtualServerInstanceType type,
                     const std::string& host, const std::string& user,
                     const std::string& password);
  void CleanupVMInfo(IVMInfo*& vmInfo);
  bool MountSourceVM();
  void UnmountSourceVM();

  // Standalone conversion.
  bool ConvertVM();

  // Disk image conversion.
  bool ConvertDisk(const VMInfoStructs::SDisk& source,
                   VMInfoStructs::SDisk& destination);
  bool CreateDestinationDisk(CArchiveVirtualDiskFile& file,
                             VMInfoStructs::SDisk& disk,
                             CArchiveVirtualDiskFile::Context_t& context);
  bool CreateTempDestinationDisk(const std::string& path, long long size,
                                 DiskType_t type);
  bool TestReadDisk();
  bool TestCloneDisk();

  // Configuration file conversion.
  bool ConvertConfigFile(const std::string& file,
                         VMInfoStructs::SVMInfo& vmInfo);
  void GetVMDKParentDiskName(const char* name, std::string& parent);
  void TestVMXFile();

  // Destination finalisation and Hyper-V adjustments.
  bool InitializeDestinationVM();
  bool FinalizeDestinationVM();
  void CleanupDestinationVM();
  void AdjustVMConfiguration(VirtualServerInstanceType destination,
                             IVMInfo* vmInfo,
                             VMInfoStructs::SVMInfo& description);
  void AdjustHyperVBootDisk(VMInfoStructs::SVMInfo& description);
  void AdjustHyperVNetworkConnections(VMInfoStructs::SVMInfo& description);
  void AdjustHyperVMachineId(VMInfoStructs::SVMInfo& description);
  static bool IsSnapConversionSupported(VirtualServerInstanceType source,
                                        VirtualServerInstanceType destination);

  // Conversion at restore.
  CQiError InitVMConversion(VirtualServerInstanceType source,
                            VirtualServerInstanceType destination,
                            IVMInfo* vmInfo, RestoreCtx& request,
                            DiskType_t diskType);
  bool ConvertVMForLiveMount(VirtualServerInstanceType source,
                             VirtualServerInstanceType destination,
                             MountCtx& mount,
                             VMInfoStructs::SVMInfo& description,
                             std::vector<VMInfoStructs::SDisk>& disks);
  bool CheckDiskSize(const RestoreCtx& request,
                     VirtualServerInstanceType destination);
  void RemoveUnsupportedDisks(RestoreCtx& request,
                              VirtualServerInstanceType destination);

  // Destination disk naming.
  void UpdateDiskNames(std::vector<VMInfoStructs::SDisk>& disks,
                       const std::string& idName, const std::string& vmName,
                       VirtualServerInstanceType destination,
                       VirtualServerInstanceType source,
                       bool platformConversion);
  void SetOSDiskIfNotSet(std::vector<VMInfoStructs::SDisk>& disks,
                         const VirtualServerInstanceType& source,
                         const VirtualServerInstanceType& destination,
                         bool platformConversion);
  bool UpdateDestinationDisk(const VMInfoStructs::SDisk& source,
                             VMInfoStructs::SDisk& destination);
  bool UpdateToUniqueDiskName(VMInfoStructs::SDisk& disk);
  bool GetDisknameFromCatalog(std::string folder, const char* catalogKey,
                              std::string& name);

  // Platform kinds and disk formats.
  static DiskType_t DetermineDestinationDiskType(
      VirtualServerInstanceType destination);
  std::string GetDestinationDiskExtension(DiskType_t type);
  static int DetermineDestinationDiskProvisioningType(DiskType_t type);

  // Destination disk type, format and controller rules.
  void CorrectDiskExtension(VMInfoStructs::SDisk& disk);
  void RoundUpDiskSizeToNearestGB(VMInfoStructs::SDisk& disk);
  std::string GetOpenStackControllerType(
      const std::vector<VMInfoStructs::SDisk>& disks);
  std::string GetNutanixControllerType(int position,
                                       VirtualServerInstanceType source,
                                       const std::string& controllerType);
  std::string GetRhevControllerType(int position);

  // Completing the conversion.
  CQiError CompleteVMConversion(VirtualServerInstanceType source,
                                VirtualServerInstanceType destination,
                                IVMInfo* vmInfo, RestoreCtx& request);

  // Guest OS determination.
  CQiError ComputeOS(VirtualServerInstanceType source,
                     VirtualServerInstanceType destination, IVMInfo* vmInfo,
                     RestoreCtx& request);
  bool GetVMGuestOSClientProp(int clientId, VMInfoStructs::SGuestOSInfo& info);

  // Instance size and region selection.
  bool AdjustVMSize(RestoreCtx& request);
  bool AdjustVMRegion(RestoreCtx& request);
  int GetNumOfAzureDiskSupportedForVMSize(int position);
  bool DoesInstanceTypeSupports32Bit(const std::string& instanceType);
  bool IsKVMInstanceType(const std::string& instanceType);

  // Members, in declaration order.
  uint32_t nBlockSize = 4096;
  VirtualServerInstanceType eSourceInstType = VS_NONE;
  IVMInfo* pSourceVMInfo = nullptr;  // owned
  std::string strSourceHost;
  std::string strSourceUser;
  std::string strSourcePassword;
  std::string strMountPath;
  std::string strSourceVMName;
  std::string strSourceVMGuid;
  MountCtx mountCtx;
  std::vector<VMInfoStructs::SMountInfoFull> vMountInfo;
  VirtualServerInstanceType eDestInstType = VS_NONE;
  IVMInfo* pDestVMInfo = nullptr;  // owned when bOwnsDestVMInfo
  std::string strDestHost;
  std::string strDestUser;
  std::string strDestPassword;
  std::string strDestVMName;
  std::string strDestVMGuid;
  std::string strDestVMPath;
  std::string strDestDiskPath;
  RestoreCtx restoreCtx;
  bool bRunSourceVMOperation = false;
  bool bDestVMFlag = false;
  // True when pDestVMInfo was created by InitializeDestinationVM.
  bool bOwnsDestVMInfo = false;
  // The catalog file as read during one CompleteVMConversion, so that it is
  // read and parsed once per conversion rather than once per disk; empty
  // outside a conversion.
  bool bCacheCatalog = false;
  std::string strCatalogPath;
  std::shared_ptr<const VMXFile> pCatalog;
};

// Sort order of instance sizes: fewer CPUs first, then less memory.
ZY_API bool CompareVMSize(const VMInfoStructs::SVMSizeInfo& a,
                          const VMInfoStructs::SVMSizeInfo& b);
