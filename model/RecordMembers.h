//===- RecordMembers.h - Every member of the VM description records ------===//
//
// One function per record (the VM description's, and the restore request's
// of model/Contexts.h) names its members in declaration order:
//   VisitMembers(record, visitor) calls visitor("memberName", record.member)
// for each member, on const and non-const records alike.  Serialisers (the
// generalised description file, the command-line tool's JSON) walk records
// through these tables, so a member added to a record is added here once.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <type_traits>

#include "model/Contexts.h"
#include "model/VMInfoStructs.h"

namespace VMInfoStructs {

// Enables an overload for R and const R only.
template <class D, class R>
using IfRecord =
    std::enable_if_t<std::is_same<std::remove_const_t<D>, R>::value>;

template <class D, class V>
IfRecord<D, SVMOptionValue> VisitMembers(D& r, V& v) {
  v("strName", r.strName);
  v("strValue", r.strValue);
}

template <class D, class V>
IfRecord<D, SKeyPairInfo> VisitMembers(D& r, V& v) {
  v("strName", r.strName);
  v("strFingerprint", r.strFingerprint);
}

template <class D, class V>
IfRecord<D, SSecurityGroupInfo> VisitMembers(D& r, V& v) {
  v("strGroupId", r.strGroupId);
  v("strGroupName", r.strGroupName);
}

template <class D, class V>
IfRecord<D, SVMOwnerInfo> VisitMembers(D& r, V& v) {
  v("strName", r.strName);
  v("strId", r.strId);
}

template <class D, class V>
IfRecord<D, SFCAdapterInfo> VisitMembers(D& r, V& v) {
  v("strWWNN", r.strWWNN);
  v("strWWPN", r.strWWPN);
}

template <class D, class V>
IfRecord<D, SChildDisk> VisitMembers(D& r, V& v) {
  v("strFileName", r.strFileName);
  v("eDiskType", r.eDiskType);
  v("i64MaxSizeInBytes", r.i64MaxSizeInBytes);
  v("i64CurrSizeInBytes", r.i64CurrSizeInBytes);
  v("strSnapshotId", r.strSnapshotId);
}

template <class D, class V>
IfRecord<D, SSnapshot> VisitMembers(D& r, V& v) {
  v("strName", r.strName);
  v("strId", r.strId);
  v("strDescription", r.strDescription);
  v("i64CreateTime", r.i64CreateTime);
  v("vChildren", r.vChildren);
}

template <class D, class V>
IfRecord<D, SVMFile> VisitMembers(D& r, V& v) {
  v("strFileName", r.strFileName);
  v("i64Size", r.i64Size);
  v("nFileType", r.nFileType);
  v("properties", r.properties);
}

template <class D, class V>
IfRecord<D, SDisk> VisitMembers(D& r, V& v) {
  v("fileName", r.fileName);
  v("eDiskType", r.eDiskType);
  v("strConfigDiskName", r.strConfigDiskName);
  v("i64MaxSizeInBytes", r.i64MaxSizeInBytes);
  v("i64CurrSizeInBytes", r.i64CurrSizeInBytes);
  v("vChildDisks", r.vChildDisks);
  v("strControllerType", r.strControllerType);
  v("nBus", r.nBus);
  v("nSlot", r.nSlot);
  v("strTargetName", r.strTargetName);
  v("strDatastore", r.strDatastore);
  v("eProvisioningType", r.eProvisioningType);
  v("diskIndexName", r.diskIndexName);
  v("strDisplayName", r.strDisplayName);
  v("strMatchName", r.strMatchName);
  v("newDiskName", r.newDiskName);
  v("nFileType", r.nFileType);
  v("nDeviceType", r.nDeviceType);
  v("isOSDisk", r.isOSDisk);
  v("strPlatformRef1", r.strPlatformRef1);
  v("bProvisionFlag", r.bProvisionFlag);
  v("strPlatformRef2", r.strPlatformRef2);
  v("isBootDisk", r.isBootDisk);
  v("strName", r.strName);
}

template <class D, class V>
IfRecord<D, SFilelayout> VisitMembers(D& r, V& v) {
  v("vDisks", r.vDisks);
  v("vFiles", r.vFiles);
}

template <class D, class V>
IfRecord<D, SVMDiskController> VisitMembers(D& r, V& v) {
  v("strName", r.strName);
  v("nBusNumber", r.nBusNumber);
  v("strControllerType", r.strControllerType);
  v("bShared", r.bShared);
}

template <class D, class V>
IfRecord<D, SVMNetworkCard> VisitMembers(D& r, V& v) {
  v("strName", r.strName);
  v("strNetworkName", r.strNetworkName);
  v("strMacAddress", r.strMacAddress);
  v("strNetworkId", r.strNetworkId);
  v("strInterfaceDetail", r.strInterfaceDetail);
  v("strAdapterType", r.strAdapterType);
  v("strProtocolValue", r.strProtocolValue);
  v("bConnected", r.bConnected);
  v("bLegacyAdapter", r.bLegacyAdapter);
  v("nInterfaceValue", r.nInterfaceValue);
  v("i64Speed", r.i64Speed);
  v("i64Mtu", r.i64Mtu);
  v("strSubnet", r.strSubnet);
  v("bDhcp", r.bDhcp);
  v("nVlanId", r.nVlanId);
  v("nPriority", r.nPriority);
  v("strProtocolAddress", r.strProtocolAddress);
  v("strGateway", r.strGateway);
  v("bPrimary", r.bPrimary);
}

template <class D, class V>
IfRecord<D, SGuestOSInfo> VisitMembers(D& r, V& v) {
  v("nOSFlags", r.nOSFlags);
  v("OSType", r.OSType);
  v("CPUArch", r.CPUArch);
  v("strOSEdition", r.strOSEdition);
  v("GuestOSName", r.GuestOSName);
  v("strOSFamily", r.strOSFamily);
  v("OSVersion", r.OSVersion);
}

template <class D, class V>
IfRecord<D, SVMInfo> VisitMembers(D& r, V& v) {
  v("strVMName", r.strVMName);
  v("strGuestOS", r.strGuestOS);
  v("strGUID", r.strGUID);
  v("strDestinationPath", r.strDestinationPath);
  v("strVMPath", r.strVMPath);
  v("strDatastore", r.strDatastore);
  v("strRegion", r.strRegion);
  v("strPrimaryInterfaceName", r.strPrimaryInterfaceName);
  v("strBootFirmware", r.strBootFirmware);
  v("strDestinationHost", r.strDestinationHost);
  v("nClientId", r.nClientId);
  v("vSnapshots", r.vSnapshots);
  v("vDisks", r.vDisks);
  v("vDiskControllers", r.vDiskControllers);
  v("vNetworkCards", r.vNetworkCards);
  v("fileLayout", r.fileLayout);
  v("i64NumCPUs", r.i64NumCPUs);
  v("i64MemoryMB", r.i64MemoryMB);
  v("i64HardwareValueA", r.i64HardwareValueA);
  v("i64HardwareValueB", r.i64HardwareValueB);
  v("bHardwareValuesSet", r.bHardwareValuesSet);
  v("i64DiskCount", r.i64DiskCount);
  v("nNumNetworkCards", r.nNumNetworkCards);
  v("strRequestText", r.strRequestText);
  v("vExtraOptions", r.vExtraOptions);
  v("vKeyPairs", r.vKeyPairs);
  v("vSecurityGroups", r.vSecurityGroups);
  v("strVMSize", r.strVMSize);
  v("vOwners", r.vOwners);
  v("guestOSInfo", r.guestOSInfo);
  v("vFCAdapters", r.vFCAdapters);
}

}  // namespace VMInfoStructs

// The restore request's records.
template <class D, class V>
VMInfoStructs::IfRecord<D, SFailure> VisitMembers(D& r, V& v) {
  v("strName", r.strName);
  v("strReason", r.strReason);
  v("strDetail", r.strDetail);
  v("strObjectId", r.strObjectId);
  v("bFatal", r.bFatal);
}

template <class D, class V>
VMInfoStructs::IfRecord<D, RestoreCtxOriginalInfo> VisitMembers(D& r, V& v) {
  v("strVMName", r.strVMName);
  v("strGUID", r.strGUID);
  v("strHost", r.strHost);
  v("strDatastore", r.strDatastore);
  v("vNetworkCards", r.vNetworkCards);
}

template <class D, class V>
VMInfoStructs::IfRecord<D, RestoreCtx> VisitMembers(D& r, V& v) {
  v("nRestoreType", r.nRestoreType);
  v("strVMName", r.strVMName);
  v("strDestinationPath", r.strDestinationPath);
  v("strDestinationHost", r.strDestinationHost);
  v("bRequestFlagA", r.bRequestFlagA);
  v("bHardwareFlag", r.bHardwareFlag);
  v("strPrimaryInterfaceName", r.strPrimaryInterfaceName);
  v("strDatastore", r.strDatastore);
  v("strRegion", r.strRegion);
  v("bSnapConversion", r.bSnapConversion);
  v("vNetworkCards", r.vNetworkCards);
  v("vSecurityGroups", r.vSecurityGroups);
  v("bRequestFlagB", r.bRequestFlagB);
  v("strVMSize", r.strVMSize);
  v("osName", r.osName);
  v("strSourceVMName", r.strSourceVMName);
  v("strSourceVMGUID", r.strSourceVMGUID);
  v("strVMId", r.strVMId);
  v("bResultFlag", r.bResultFlag);
  v("strResultInfo", r.strResultInfo);
  v("vmInfo", r.vmInfo);
  v("vDisks", r.vDisks);
  v("vFailures", r.vFailures);
  v("strStagingPath", r.strStagingPath);
  v("bMarkOSDisk", r.bMarkOSDisk);
  v("nResultValue", r.nResultValue);
  v("bPlatformConversion", r.bPlatformConversion);
  v("bRequestFlagC", r.bRequestFlagC);
  v("strResultDetail", r.strResultDetail);
  v("sourceInfo", r.sourceInfo);
}
