//===- Contexts.h - Restore, mount and operation contexts -----------------===//
//
// RestoreCtx describes a restore of a VM onto a platform, MountCtx the mount
// of a VM, OperationCtx an operation run on a VM before it is mounted.  They
// are in/out records: the restore-time operations write their results into
// the RestoreCtx they are given.
//
// RestoreCtx copies member-wise; its vmInfo goes through SVMInfo::operator=,
// so the target's vmInfo keeps its own disk controllers.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VMInfoStructs.h"

#include <cstdint>
#include <string>
#include <vector>

// A failure reported back to the caller of a restore.
struct ZY_API SFailure {
  std::string strName;
  std::string strReason;
  std::string strDetail;
  std::string strObjectId;
  bool bFatal = false;

  SFailure() = default;
  ZY_RECORD_COPY_OPS(SFailure)
  void _Copy(const SFailure& o) {
    if (this == &o) return;
    strName = o.strName;
    strReason = o.strReason;
    strDetail = o.strDetail;
    strObjectId = o.strObjectId;
    bFatal = o.bFatal;
  }
};

// Facts of the VM as it was backed up.
struct ZY_API RestoreCtxOriginalInfo {
  std::string strVMName;
  std::string strGUID;
  std::string strHost;
  std::string strDatastore;
  std::vector<VMInfoStructs::SVMNetworkCard> vNetworkCards;
};

struct ZY_API RestoreCtx {
  int32_t nRestoreType = 0;
  std::string strVMName;
  std::string strDestinationPath;
  std::string strDestinationHost;
  bool bRequestFlagA = false;
  bool bHardwareFlag = false;
  std::string strPrimaryInterfaceName;
  std::string strDatastore;
  std::string strRegion;
  bool bSnapConversion = false;
  std::vector<VMInfoStructs::SVMNetworkCard> vNetworkCards;
  std::vector<VMInfoStructs::SSecurityGroupInfo> vSecurityGroups;
  bool bRequestFlagB = false;
  std::string strVMSize;  // empty or "AUTO": choose automatically
  std::string osName;     // empty or "AUTO": read from the client properties
  std::string strSourceVMName;
  std::string strSourceVMGUID;
  std::string strVMId;
  bool bResultFlag = false;
  std::string strResultInfo;
  VMInfoStructs::SVMInfo vmInfo;
  std::vector<VMInfoStructs::SDisk> vDisks;
  std::vector<SFailure> vFailures;
  std::string strStagingPath;
  bool bMarkOSDisk = false;
  int32_t nResultValue = 0;
  bool bPlatformConversion = false;
  bool bRequestFlagC = false;
  std::string strResultDetail;
  RestoreCtxOriginalInfo sourceInfo;
};

struct ZY_API MountCtx {
  int32_t nMountType = 0;
  std::string strVMName;
  std::string strVMGuid;
  std::string strHostName;
  std::string strMountPath;
  std::string strStagingPath;
  int64_t nMountId = 0;
  int32_t nMountOption = 0;
};

struct ZY_API OperationCtx {
  int32_t eOperation = 0;  // 3: the operation run before a source VM is mounted
  VMInfoStructs::SVMInfo vmInfo;
};
