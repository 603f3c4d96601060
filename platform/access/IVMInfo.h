//===- IVMInfo.h - Hypervisor access interface ----------------------------===//
//
// The platform's access object for one hypervisor or cloud platform.  The
// converter obtains one with IVMInfo::CreateObject, calls its operations and
// returns it with IVMInfo::DeleteObject.  The operations are declared in
// interface (slot) order:
//
//   slot  operation                  result the caller relies on
//   0     Initialize(0)              int, 0 = failure
//   1     Uninitialize(1)            ignored
//   2     Connect(host,user,pass)    int, 0 = failure
//   4     Disconnect()               ignored
//   11    GetLastErrorText()         text of the last failure, may be empty
//   34    GetVMInfo(...)             int, 0 = failure
//   36    GetHostInfo(...)           int, 0 = failure
//   45    GetLocalHostInfo(...)      int, 0 = failure
//   64    GetAvailableInstanceTypes  int, 0 = failure
//   75    MountVM(ctx)               int, 0 = failure
//   76    UnmountVM(ctx)             ignored
//   80    GetFullMountInfo(ctx,out)  int, 0 = failure
//   86    PrepareRestoreConversion   int, 0 = failure
//   87    PrepareDestinationVM       int, 0 = failure
//   88    ConfigureDestinationVM     int, 0 = failure
//   89    CompleteDestinationVM      ignored
//   92    StartPlatformConversion    bool
//   93    FinalizeConvertedVM        bool
//   109   RunVMOperation(ctx)        ignored
//
// Objects come from factories registered in this library: one per platform
// kind, or one for every kind.  With none registered, CreateObject asks the
// built-in factory: the folder platform registers one when the library
// loads, which serves when ZY_PLATFORM_ROOT names a root folder.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/Contexts.h"
#include "model/VMInfoStructs.h"
#include "model/VirtualServerTypes.h"
#include "model/ZyExport.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ZY_PLATFORM_API IVMInfo {
 public:
  using Factory = std::function<IVMInfo*(VirtualServerInstanceType)>;

  virtual ~IVMInfo();

  virtual int Initialize(int mode) = 0;
  virtual int Uninitialize(int mode) = 0;
  virtual int Connect(const std::string& host, const std::string& user,
                      const std::string& password) = 0;
  virtual int Disconnect() = 0;
  virtual std::string GetLastErrorText() = 0;
  virtual int GetVMInfo(const std::string& vmName, const std::string& vmGuid,
                        const std::string& extra, int option1, int option2,
                        VMInfoStructs::SVMInfo& info) = 0;
  virtual int GetHostInfo(const std::string& hostName, uint64_t propertyMask,
                          int option, VMInfoStructs::SHostInfo& info) = 0;
  virtual int GetLocalHostInfo(VMInfoStructs::SHostInfo& info,
                               uint64_t propertyMask, int option) = 0;
  virtual int GetAvailableInstanceTypes(
      const std::string& key, std::vector<VMInfoStructs::SVMSizeInfo>& types,
      int option1, int option2) = 0;
  virtual int MountVM(MountCtx& ctx) = 0;
  virtual int UnmountVM(MountCtx& ctx) = 0;
  virtual int GetFullMountInfo(
      MountCtx& ctx, std::vector<VMInfoStructs::SMountInfoFull>& info) = 0;
  virtual int PrepareRestoreConversion(RestoreCtx& ctx) = 0;
  virtual int PrepareDestinationVM(RestoreCtx& ctx) = 0;
  virtual int ConfigureDestinationVM(RestoreCtx& ctx) = 0;
  virtual int CompleteDestinationVM(RestoreCtx& ctx) = 0;
  virtual bool StartPlatformConversion(RestoreCtx& ctx) = 0;
  virtual bool FinalizeConvertedVM(RestoreCtx& ctx) = 0;
  virtual int RunVMOperation(OperationCtx& ctx) = 0;

  // A new access object for the platform kind, or null.
  static IVMInfo* CreateObject(VirtualServerInstanceType kind);
  // Releases an object from CreateObject; null is ignored.
  static void DeleteObject(IVMInfo* object);

  // Registers the factory for one platform kind (replacing an earlier one).
  static void RegisterFactory(VirtualServerInstanceType kind, Factory factory);
  // Registers the factory used for kinds without a factory of their own.
  static void RegisterDefaultFactory(Factory factory);
  // Registers the factory asked when no other is registered; kept by
  // ClearFactories.
  static void RegisterBuiltInFactory(Factory factory);
  // Removes every factory registered with RegisterFactory and
  // RegisterDefaultFactory.
  static void ClearFactories();
};
