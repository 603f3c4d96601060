//===- RecordingVMInfo.h - A recording fake of the access interface -------===//
//
// RecordingVMInfo records every call with its arguments into a script shared
// with the test, and answers from it.  Every operation succeeds unless the
// test sets its result: script->results["MountVM"] = 0.
//
// ScopedFakeVMInfoFactory registers a factory for every platform kind that
// hands out fakes sharing one script, so a test can inspect the calls of
// objects that the converter created and already deleted.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/access/IVMInfo.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct VMInfoCall {
  std::string op;
  std::vector<std::string> args;
};

struct VMInfoScript {
  std::vector<VMInfoCall> calls;
  // Result per operation name; absent means success (1 or true).
  std::map<std::string, int> results;
  std::string lastErrorText;

  // What the queries answer.
  VMInfoStructs::SVMInfo vmInfo;
  VMInfoStructs::SHostInfo hostInfo;
  VMInfoStructs::SHostInfo localHostInfo;
  std::vector<VMInfoStructs::SVMSizeInfo> instanceTypes;
  std::vector<VMInfoStructs::SMountInfoFull> mountInfo;

  // What the calls were given, last call wins.
  MountCtx lastMountCtx;
  OperationCtx lastOperation;
  RestoreCtx lastRestoreCtx;
  // Called with the context of every RestoreCtx operation, by name, so a
  // test can play the platform library's part (write result fields).
  std::function<void(const std::string&, RestoreCtx&)> onRestoreCall;

  int created = 0;
  int deleted = 0;

  int Result(const std::string& op) const;
  // Names of the calls in order.
  std::vector<std::string> Names() const;
  // How many calls of op were made.
  int Count(const std::string& op) const;
  // The calls one a line, "call: Op(arg, arg)", for golden files.
  std::string Calls() const;
};

class RecordingVMInfo : public IVMInfo {
 public:
  explicit RecordingVMInfo(std::shared_ptr<VMInfoScript> script);
  ~RecordingVMInfo() override;

  int Initialize(int mode) override;
  int Uninitialize(int mode) override;
  int Connect(const std::string& host, const std::string& user,
              const std::string& password) override;
  int Disconnect() override;
  std::string GetLastErrorText() override;
  int GetVMInfo(const std::string& vmName, const std::string& vmGuid,
                const std::string& extra, int option1, int option2,
                VMInfoStructs::SVMInfo& info) override;
  int GetHostInfo(const std::string& hostName, uint64_t propertyMask,
                  int option, VMInfoStructs::SHostInfo& info) override;
  int GetLocalHostInfo(VMInfoStructs::SHostInfo& info, uint64_t propertyMask,
                       int option) override;
  int GetAvailableInstanceTypes(const std::string& key,
                                std::vector<VMInfoStructs::SVMSizeInfo>& types,
                                int option1, int option2) override;
  int MountVM(MountCtx& ctx) override;
  int UnmountVM(MountCtx& ctx) override;
  int GetFullMountInfo(
      MountCtx& ctx, std::vector<VMInfoStructs::SMountInfoFull>& info) override;
  int PrepareRestoreConversion(RestoreCtx& ctx) override;
  int PrepareDestinationVM(RestoreCtx& ctx) override;
  int ConfigureDestinationVM(RestoreCtx& ctx) override;
  int CompleteDestinationVM(RestoreCtx& ctx) override;
  bool StartPlatformConversion(RestoreCtx& ctx) override;
  bool FinalizeConvertedVM(RestoreCtx& ctx) override;
  int RunVMOperation(OperationCtx& ctx) override;

 private:
  int Record(const std::string& op, std::vector<std::string> args = {});
  int RestoreCall(const std::string& op, RestoreCtx& ctx);
  std::shared_ptr<VMInfoScript> script_;
};

class ScopedFakeVMInfoFactory {
 public:
  ScopedFakeVMInfoFactory();
  ~ScopedFakeVMInfoFactory();
  ScopedFakeVMInfoFactory(const ScopedFakeVMInfoFactory&) = delete;
  ScopedFakeVMInfoFactory& operator=(const ScopedFakeVMInfoFactory&) = delete;

  std::shared_ptr<VMInfoScript> script = std::make_shared<VMInfoScript>();
  // When false, CreateObject returns null.
  bool create = true;
};
