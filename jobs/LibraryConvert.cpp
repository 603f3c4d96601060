//===- LibraryConvert.cpp - The library's standalone conversion of a VM ---===//
#include "LibraryConvert.h"

#include "JobSupport.h"

#include "converter/ZyVMConverter.h"
#include "model/PlatformKinds.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/support/FXPath.h"

#include <filesystem>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;

// Folders that the converter makes for a Hyper-V destination before the
// conversion; removed again when they stay empty because it failed.
class RemoveIfLeftEmpty {
 public:
  explicit RemoveIfLeftEmpty(std::string vmFolder)
      : vmFolder_(std::move(vmFolder)) {
    std::error_code ec;
    existed_ = fs::exists(vmFolder_, ec);
  }
  ~RemoveIfLeftEmpty() {
    if (existed_) return;
    std::error_code ec;
    fs::remove(CQiPath::Append(vmFolder_, "Virtual Hard Disks"),
               ec);             // if empty
    fs::remove(vmFolder_, ec);  // if empty
  }
  RemoveIfLeftEmpty(const RemoveIfLeftEmpty&) = delete;
  RemoveIfLeftEmpty& operator=(const RemoveIfLeftEmpty&) = delete;

 private:
  std::string vmFolder_;
  bool existed_ = false;
};

std::string FailureText(const FailureWatch& watch, IVMInfo* platform,
                        const std::string& logPath) {
  std::string text = watch.LastFailure();
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::string reason = platform ? platform->GetLastErrorText() : std::string();
  if (!reason.empty() && reason != text)
    text += (text.empty() ? "" : "; platform: ") + reason;
  if (!text.empty()) return text;
  return logPath.empty() ? "see the platform log" : "see the log " + logPath;
}

void Convert(const LibraryConvertRequest& options, ResultFacts& facts,
             VMInfoStructs::SVMInfo& info) {
  VirtualServerInstanceType source = options.source;
  VirtualServerInstanceType destination = options.destination;
  const std::string& root = options.root;
  std::string name =
      options.destinationName.empty() ? options.vm : options.destinationName;

  FolderVMInfo sourcePlatform(source, root),
      destinationPlatform(destination, root);
  if (!fs::exists(
          CQiPath::Append(sourcePlatform.VMFolder(options.vm), "VMConfig.zyf")))
    throw JobFailure("no VM [" + options.vm + "] in [" +
                    sourcePlatform.KindFolder() + "]");
  RestoreCtx probe;
  probe.strVMName = name;
  if (!destinationPlatform.PrepareRestoreConversion(probe))
    throw JobFailure(destinationPlatform.GetLastErrorText());

  RemoveIfLeftEmpty cleanup(destinationPlatform.VMFolder(name));
  FailureWatch watch;
  ZyVMConverter converter;
  converter.SetSourceInstance(source, "", "", "");
  converter.SetDestinationInstance(destination, "", "", "");
  converter.SetSourceVM(options.vm, "", false);
  converter.SetDestinationVM(name, "", destinationPlatform.KindFolder(), false);
  converter.restoreCtx.strVMName = name;
  converter.restoreCtx.strS3Bucket = options.s3Bucket;
  if (!converter.ConvertVM())
    throw JobFailure("cannot convert " + options.vm + " to " +
                    PlatformKindName(destination) + " (ConvertVM): " +
                    FailureText(watch, converter.pSourceVMInfo
                                           ? converter.pSourceVMInfo
                                           : converter.pDestVMInfo,
                                       options.logPath));
  if (converter.restoreCtx.strVMId.empty())
    throw JobFailure("the destination platform did not build the VM: " +
                    FailureText(watch, converter.pDestVMInfo, options.logPath));

  facts.title = name + " (" + PlatformKindName(destination) +
                "), converted from " + options.vm + " (" +
                PlatformKindName(source) + ")";
  facts.vmId = converter.restoreCtx.strVMId;
  facts.location = converter.restoreCtx.strResultInfo;
  facts.instanceType = converter.restoreCtx.strVMSize;
  facts.s3Bucket = options.s3Bucket;
  info = converter.restoreCtx.vmInfo;
  AddNativeDescription(facts, destination, info);
}

}  // namespace

bool RunLibraryConvert(const LibraryConvertRequest& request,
                       ResultFacts& facts, VMInfoStructs::SVMInfo& info,
                       SJobError& error) {
  return AtBoundary(error, [&] { Convert(request, facts, info); });
}

}  // namespace zyjobs

