//===- RecordingVMInfo.cpp - A recording fake of the access interface -----===//
#include "support/RecordingVMInfo.h"

int VMInfoScript::Result(const std::string& op) const {
  auto it = results.find(op);
  return it == results.end() ? 1 : it->second;
}

std::vector<std::string> VMInfoScript::Names() const {
  std::vector<std::string> names;
  for (const auto& call : calls) names.push_back(call.op);
  return names;
}

int VMInfoScript::Count(const std::string& op) const {
  int count = 0;
  for (const auto& call : calls) count += call.op == op;
  return count;
}

std::string VMInfoScript::Calls() const {
  std::string text;
  for (const auto& call : calls) {
    text += "call: " + call.op + "(";
    for (size_t i = 0; i < call.args.size(); ++i)
      text += (i ? ", " : "") + call.args[i];
    text += ")\n";
  }
  return text;
}

RecordingVMInfo::RecordingVMInfo(std::shared_ptr<VMInfoScript> script)
    : script_(std::move(script)) {
  ++script_->created;
}

RecordingVMInfo::~RecordingVMInfo() { ++script_->deleted; }

int RecordingVMInfo::Record(const std::string& op,
                            std::vector<std::string> args) {
  script_->calls.push_back({op, std::move(args)});
  return script_->Result(op);
}

int RecordingVMInfo::RestoreCall(const std::string& op, RestoreCtx& ctx) {
  int result = Record(op);
  script_->lastRestoreCtx = ctx;
  if (script_->onRestoreCall) script_->onRestoreCall(op, ctx);
  return result;
}

int RecordingVMInfo::Initialize(int mode) {
  return Record("Initialize", {std::to_string(mode)});
}

int RecordingVMInfo::Uninitialize(int mode) {
  return Record("Uninitialize", {std::to_string(mode)});
}

int RecordingVMInfo::Connect(const std::string& host, const std::string& user,
                             const std::string& password) {
  return Record("Connect", {host, user, password});
}

int RecordingVMInfo::Disconnect() { return Record("Disconnect"); }

std::string RecordingVMInfo::GetLastErrorText() {
  Record("GetLastErrorText");
  return script_->lastErrorText;
}

int RecordingVMInfo::GetVMInfo(const std::string& vmName,
                               const std::string& vmGuid,
                               const std::string& extra, int option1,
                               int option2, VMInfoStructs::SVMInfo& info) {
  int result =
      Record("GetVMInfo", {vmName, vmGuid, extra, std::to_string(option1),
                           std::to_string(option2)});
  if (result) info = script_->vmInfo;
  return result;
}

int RecordingVMInfo::GetHostInfo(const std::string& hostName,
                                 uint64_t propertyMask, int option,
                                 VMInfoStructs::SHostInfo& info) {
  int result = Record("GetHostInfo", {hostName, std::to_string(propertyMask),
                                      std::to_string(option)});
  if (result) info = script_->hostInfo;
  return result;
}

int RecordingVMInfo::GetLocalHostInfo(VMInfoStructs::SHostInfo& info,
                                      uint64_t propertyMask, int option) {
  int result = Record("GetLocalHostInfo",
                      {std::to_string(propertyMask), std::to_string(option)});
  if (result) info = script_->localHostInfo;
  return result;
}

int RecordingVMInfo::GetAvailableInstanceTypes(
    const std::string& key, std::vector<VMInfoStructs::SVMSizeInfo>& types,
    int option1, int option2) {
  int result = Record("GetAvailableInstanceTypes",
                      {key, std::to_string(option1), std::to_string(option2)});
  if (result) types = script_->instanceTypes;
  return result;
}

int RecordingVMInfo::MountVM(MountCtx& ctx) {
  script_->lastMountCtx = ctx;
  return Record("MountVM", {ctx.strVMName, ctx.strVMGuid, ctx.strMountPath});
}

int RecordingVMInfo::UnmountVM(MountCtx& ctx) {
  return Record("UnmountVM", {ctx.strMountPath});
}

int RecordingVMInfo::GetFullMountInfo(
    MountCtx& ctx, std::vector<VMInfoStructs::SMountInfoFull>& info) {
  int result = Record("GetFullMountInfo", {ctx.strMountPath});
  if (result) info = script_->mountInfo;
  return result;
}

int RecordingVMInfo::PrepareRestoreConversion(RestoreCtx& ctx) {
  return RestoreCall("PrepareRestoreConversion", ctx);
}

int RecordingVMInfo::PrepareDestinationVM(RestoreCtx& ctx) {
  return RestoreCall("PrepareDestinationVM", ctx);
}

int RecordingVMInfo::ConfigureDestinationVM(RestoreCtx& ctx) {
  return RestoreCall("ConfigureDestinationVM", ctx);
}

int RecordingVMInfo::CompleteDestinationVM(RestoreCtx& ctx) {
  return RestoreCall("CompleteDestinationVM", ctx);
}

bool RecordingVMInfo::StartPlatformConversion(RestoreCtx& ctx) {
  return RestoreCall("StartPlatformConversion", ctx) != 0;
}

bool RecordingVMInfo::FinalizeConvertedVM(RestoreCtx& ctx) {
  return RestoreCall("FinalizeConvertedVM", ctx) != 0;
}

int RecordingVMInfo::RunVMOperation(OperationCtx& ctx) {
  script_->lastOperation = ctx;
  return Record("RunVMOperation", {std::to_string(ctx.eOperation),
                                   ctx.vmInfo.strVMName, ctx.vmInfo.strGUID});
}

ScopedFakeVMInfoFactory::ScopedFakeVMInfoFactory() {
  IVMInfo::RegisterDefaultFactory(
      [this](VirtualServerInstanceType) -> IVMInfo* {
        if (!create) return nullptr;
        return new RecordingVMInfo(script);
      });
}

ScopedFakeVMInfoFactory::~ScopedFakeVMInfoFactory() {
  IVMInfo::ClearFactories();
}
