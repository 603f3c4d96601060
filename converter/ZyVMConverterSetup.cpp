//===- ZyVMConverterSetup.cpp - Setters, access objects, source mounting -===//
//
// The setters that name the source and destination platforms and machines,
// the opening and closing of a hypervisor access object, and the mounting of
// the source machine for a standalone conversion.
//
// A Hyper-V destination keeps each machine in a folder of its own name with
// its disks under "Virtual Hard Disks", and mounts the source machine under
// "SourceVM" in that folder; every other destination writes disks straight
// into the destination folder and mounts under /tmp/ZyVMConvert/<guid>.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

namespace {

const char kPrepareVMInfo[] =
    "bool ZyVMConverter::PrepareVMInfo(IVMInfo*&, VirtualServerInstanceType, "
    "const string&, const string&, const string&)";
const char kMountSourceVM[] = "bool ZyVMConverter::MountSourceVM()";
const char kUnmountSourceVM[] = "void ZyVMConverter::UnmountSourceVM()";

const char kHyperVDiskFolder[] = "Virtual Hard Disks";
const char kHyperVSourceFolder[] = "SourceVM";
const char kMountFolder[] = "ZyVMConvert";

// Arguments the access interface expects for these calls.
constexpr int kInitializeMode = 0;
constexpr int kUninitializeMode = 1;
constexpr int kPreMountOperation = 3;

}  // namespace

void ZyVMConverter::SetSourceInstance(VirtualServerInstanceType type,
                                      const std::string& host,
                                      const std::string& user,
                                      const std::string& password) {
  eSourceInstType = type;
  strSourceHost = host;
  strSourceUser = user;
  strSourcePassword = password;
}

void ZyVMConverter::SetDestinationInstance(VirtualServerInstanceType type,
                                           const std::string& host,
                                           const std::string& user,
                                           const std::string& password) {
  eDestInstType = type;
  strDestHost = host;
  strDestUser = user;
  strDestPassword = password;
}

void ZyVMConverter::SetSourceVM(const std::string& name,
                                const std::string& guid, bool runOperation) {
  strSourceVMName = name;
  strSourceVMGuid = guid;
  bRunSourceVMOperation = runOperation;
}

void ZyVMConverter::SetDestinationVM(const std::string& name,
                                     const std::string& guid,
                                     const std::string& path, bool flag) {
  strDestVMName = name;
  strDestVMGuid = guid;
  strDestVMPath = path;
  bDestVMFlag = flag;
  if (strDestVMName.empty()) strDestVMName = strSourceVMName;

  if (eDestInstType != VS_HYPERV) {
    strDestDiskPath = strDestVMPath;
    return;
  }
  // Hyper-V keeps each machine in a folder named after it.
  if (FXString::CompareNoCase(CQiPath::GetBaseName(strDestVMPath),
                              strDestVMName) != 0)
    strDestVMPath = CQiPath::Append(strDestVMPath, strDestVMName);
  strDestDiskPath = CQiPath::Append(strDestVMPath, kHyperVDiskFolder);
  // A folder that cannot be created shows up when the disks are written.
  (void)CQiDirectory::Create(strDestVMPath, true);
  (void)CQiDirectory::Create(strDestDiskPath, true);
}

bool ZyVMConverter::PrepareVMInfo(IVMInfo*& vmInfo,
                                  VirtualServerInstanceType type,
                                  const std::string& host,
                                  const std::string& user,
                                  const std::string& password) {
  vmInfo = IVMInfo::CreateObject(type);
  if (!vmInfo) {
    Error(kPrepareVMInfo, "Failed to create VMInfo object");
    return false;
  }
  if (vmInfo->Initialize(kInitializeMode) == 0) {
    Error(kPrepareVMInfo, "Failed to init VMInfo object");
    IVMInfo::DeleteObject(vmInfo);
    vmInfo = nullptr;
    return false;
  }
  Log(kPrepareVMInfo, 0, "Connecting to %s", host.c_str());
  if (vmInfo->Connect(host, user, password) == 0) {
    CleanupVMInfo(vmInfo);
    Error(kPrepareVMInfo, "Failed to connect to server=[%s] user=[%s]",
          host.c_str(), user.c_str());
    return false;
  }
  return true;
}

void ZyVMConverter::CleanupVMInfo(IVMInfo*& vmInfo) {
  if (!vmInfo) return;
  vmInfo->Disconnect();
  vmInfo->Uninitialize(kUninitializeMode);
  IVMInfo::DeleteObject(vmInfo);
  vmInfo = nullptr;
}

bool ZyVMConverter::MountSourceVM() {
  // A second mount first ends the one still open, so the earlier access
  // object is neither leaked nor left with a mount behind it.
  if (pSourceVMInfo) UnmountSourceVM();
  if (!PrepareVMInfo(pSourceVMInfo, eSourceInstType, strSourceHost,
                     strSourceUser, strSourcePassword))
    return false;

  if (strSourceVMGuid.empty()) {
    VMInfoStructs::SVMInfo description;
    if (pSourceVMInfo->GetVMInfo(strSourceVMName, strSourceVMGuid, "", 0, 0,
                                 description) == 0)
      return false;
    strSourceVMGuid = description.strGUID;
  }

  strMountPath = CQiPath::Append(CQiPath::Append(GetTempPathA(), kMountFolder),
                                 strSourceVMGuid);
  if (eDestInstType == VS_HYPERV)
    strMountPath = CQiPath::Append(strDestVMPath, kHyperVSourceFolder);

  if (bRunSourceVMOperation) {
    OperationCtx operation;
    operation.eOperation = kPreMountOperation;
    operation.vmInfo.strVMName = strSourceVMName;
    operation.vmInfo.strGUID = strSourceVMGuid;
    (void)pSourceVMInfo->RunVMOperation(operation);
  }

  mountCtx.nMountType = 0;
  mountCtx.strVMName = strSourceVMName;
  mountCtx.strVMGuid = strSourceVMGuid;
  mountCtx.strMountPath = strMountPath;
  mountCtx.strStagingPath = strMountPath;
  mountCtx.nMountOption = 0;

  Log(kMountSourceVM, 0, "Mounting.....");
  if (pSourceVMInfo->MountVM(mountCtx) == 0) {
    Log(kMountSourceVM, -1, "MountVM failed!!");
    return false;
  }
  Log(kMountSourceVM, 0, "Mount done.");
  if (pSourceVMInfo->GetFullMountInfo(mountCtx, vMountInfo) == 0) {
    Log(kMountSourceVM, -1, "GetFullMountInfo failed!!");
    return false;
  }
  return true;
}

void ZyVMConverter::UnmountSourceVM() {
  if (!pSourceVMInfo) return;
  Log(kUnmountSourceVM, 0, "Unmounting");
  (void)pSourceVMInfo->UnmountVM(mountCtx);
  Log(kUnmountSourceVM, 0, "Unmount done");
  CleanupVMInfo(pSourceVMInfo);
}
